#include "diag/current_exception_text.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "diag/ansi_text.h"

namespace diag {
namespace {

// "std::runtime_error" instead of the compiler's "St13runtime_error".
std::wstring ReadableTypeName(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    const std::wstring name = AnsiToWide(status == 0 && readable != nullptr ? readable : type.name());
    std::free(readable);
    return name;
}

}  // namespace

std::wstring CurrentExceptionText() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return std::wstring();
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& error) {
        return ReadableTypeName(typeid(error)) + L": " + AnsiToWide(error.what());
    } catch (...) {
        // Not a std::exception: the runtime still knows the type that was thrown.
        const std::type_info* type = abi::__cxa_current_exception_type();
        return type != nullptr ? ReadableTypeName(*type) : std::wstring();
    }
}

}  // namespace diag
