#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/mac_reader.h"

// The device identity carried by every installer event: processor feature flags, a disk serial
// and one network adapter address, joined. Pieces that cannot be read are empty; nothing here
// fails or waits without a bound.

// trim(cpu) + trim(disk) + trim(mac), each trimmed of blanks (spaces only) at both ends.
std::string GetDeviceIdentity();
std::string JoinDeviceIdentity(const std::string& cpu, const std::string& disk,
                               const std::string& mac);
std::string TrimBlanks(const std::string& text);

// EDX of CPUID leaf 1 as "%08X"; empty when the processor has no CPUID instruction.
std::string GetCpuIdText();

// 20 characters of the first disk that answers an identify request; 20 blanks when none does.
std::string GetDiskSerial();
// Words 10 to 19 of a 512-byte identify block, each high byte first.
std::string SerialFromIdentifyData(const uint8_t* identify);

// 12 uppercase hex digits of the chosen adapter, or empty.
std::string GetMacText();
// The rule of GetMacText over any reader: the first reading only has to succeed; the second
// must succeed with at least one record, whose address is then formatted.
std::string MacTextFromReadings(const std::function<bool(std::vector<AdapterRecord>*)>& read);
