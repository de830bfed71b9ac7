#include "report/device_identity.h"

#include <cpuid.h>

#include <cstdio>

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string JoinDeviceIdentity(const std::string& cpu, const std::string& disk,
                               const std::string& mac) {
    return TrimBlanks(cpu) + TrimBlanks(disk) + TrimBlanks(mac);
}

std::string GetDeviceIdentity() {
    return JoinDeviceIdentity(GetCpuIdText(), GetDiskSerial(), GetMacText());
}

std::string GetCpuIdText() {
    // __get_cpuid_max checks that the instruction exists before using it, so an old processor
    // gives an empty piece instead of an illegal-instruction fault.
    if (__get_cpuid_max(0, nullptr) < 1) return std::string();
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return std::string();
    char text[9] = {};
    snprintf(text, sizeof(text), "%08X", edx);
    return text;
}

std::string MacTextFromReadings(const std::function<bool(std::vector<AdapterRecord>*)>& read) {
    std::vector<AdapterRecord> adapters;
    if (!read(&adapters)) return std::string();
    adapters.clear();
    if (!read(&adapters) || adapters.empty()) return std::string();
    char text[13] = {};
    const uint8_t* a = adapters.front().address;
    snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

std::string GetMacText() {
    CMACReaderEx reader;
    return MacTextFromReadings([&reader](std::vector<AdapterRecord>* adapters) {
        if (!reader.Read(CMACReaderEx::kAnyMethod, 0)) return false;
        *adapters = reader.adapters();
        return true;
    });
}
