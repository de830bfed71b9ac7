// What a crash report says about a C++ exception: the type that was thrown, readable, and the text
// of a std::exception.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "diag/current_exception_text.h"

namespace {

struct NotAStandardException {};

class WorkerGaveUp : public std::runtime_error {
public:
    WorkerGaveUp() : std::runtime_error("the worker gave up") {}
};

template <typename Thrown>
std::wstring TextWhileHandling(const Thrown& thrown) {
    try {
        throw thrown;
    } catch (...) {
        return diag::CurrentExceptionText();
    }
}

TEST(CurrentExceptionText, NamesTheThrownTypeAndTheTextOfAStandardException) {
    EXPECT_EQ(TextWhileHandling(std::runtime_error("disk gone")), L"std::runtime_error: disk gone");
    // The type that was thrown, not the one it was caught as.
    EXPECT_EQ(TextWhileHandling(WorkerGaveUp()), L"(anonymous namespace)::WorkerGaveUp: the worker gave up");
}

TEST(CurrentExceptionText, NamesTheTypeOfAnythingElseThatWasThrown) {
    EXPECT_EQ(TextWhileHandling(42), L"int");
    EXPECT_EQ(TextWhileHandling(NotAStandardException()), L"(anonymous namespace)::NotAStandardException");
}

TEST(CurrentExceptionText, IsEmptyWithoutAnExceptionBeingHandled) {
    EXPECT_EQ(diag::CurrentExceptionText(), L"");
    TextWhileHandling(1);
    EXPECT_EQ(diag::CurrentExceptionText(), L"") << "once the catch block is left";
}

}  // namespace
