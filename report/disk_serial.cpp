// The disk piece of the device identity: the serial number from an ATA identify request, asked
// through SMART on the physical drives and, failing that, through the SCSI miniport.
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstdio>
#include <cstring>

#include "diag/win_handle.h"
#include "report/device_identity.h"

namespace {

constexpr size_t kIdentifySize = 512;
constexpr size_t kSerialLength = 20;
constexpr DWORD kMiniportIdentify = 0x1B0501;  // IOCTL_SCSI_MINIPORT_IDENTIFY
constexpr size_t kModelNumberOffset = 54;      // word 27 of the identify data
const std::string kBlankSerial(kSerialLength, ' ');

diag::ScopedHandle OpenDevice(const wchar_t* path) {
    HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    return diag::ScopedHandle(device == INVALID_HANDLE_VALUE ? nullptr : device);
}

void FillIdentifyCommand(SENDCMDINPARAMS* in, BYTE drive, BYTE command) {
    in->cBufferSize = kIdentifySize;
    in->irDriveRegs.bSectorCountReg = 1;
    in->irDriveRegs.bSectorNumberReg = 1;
    in->irDriveRegs.bCylLowReg = 0;
    in->irDriveRegs.bCylHighReg = 0;
    in->irDriveRegs.bDriveHeadReg = (drive & 1) ? 0xB0 : 0xA0;
    in->irDriveRegs.bCommandReg = command;
    in->bDriveNumber = drive;
}

std::string SerialOfPhysicalDrive(BYTE drive) {
    wchar_t path[32];
    _snwprintf(path, 31, L"\\\\.\\PhysicalDrive%d", drive);
    path[31] = 0;
    diag::ScopedHandle device = OpenDevice(path);
    if (!device.IsValid()) return std::string();

    GETVERSIONINPARAMS version = {};
    DWORD returned = 0;
    if (!DeviceIoControl(device.Get(), SMART_GET_VERSION, nullptr, 0, &version, sizeof(version),
                         &returned, nullptr) ||
        version.bIDEDeviceMap == 0) {
        return std::string();
    }
    SENDCMDINPARAMS in = {};
    const bool packetDevice = (version.bIDEDeviceMap >> (4 + drive)) & 1;
    FillIdentifyCommand(&in, drive, packetDevice ? ATAPI_ID_CMD : ID_CMD);
    uint8_t out[sizeof(SENDCMDOUTPARAMS) + kIdentifySize] = {};
    if (!DeviceIoControl(device.Get(), SMART_RCV_DRIVE_DATA, &in, sizeof(in), out, sizeof(out),
                         &returned, nullptr)) {
        return std::string();
    }
    return SerialFromIdentifyData(reinterpret_cast<SENDCMDOUTPARAMS*>(out)->bBuffer);
}

std::string SerialOfScsiPort(int port) {
    wchar_t path[32];
    _snwprintf(path, 31, L"\\\\.\\Scsi%d:", port);
    path[31] = 0;
    diag::ScopedHandle device = OpenDevice(path);
    if (!device.IsValid()) return std::string();

    const size_t outLength = sizeof(SENDCMDOUTPARAMS) - 1 + kIdentifySize;  // 529
    std::string serial;
    for (BYTE drive = 0; drive < 2; ++drive) {
        uint8_t buffer[sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDOUTPARAMS) + kIdentifySize] = {};
        auto* header = reinterpret_cast<SRB_IO_CONTROL*>(buffer);
        header->HeaderLength = sizeof(SRB_IO_CONTROL);
        memcpy(header->Signature, "SCSIDISK", 8);
        header->Timeout = 10000;
        header->ControlCode = kMiniportIdentify;
        header->Length = static_cast<ULONG>(outLength);
        FillIdentifyCommand(reinterpret_cast<SENDCMDINPARAMS*>(buffer + sizeof(SRB_IO_CONTROL)),
                            drive, ID_CMD);
        DWORD returned = 0;
        const DWORD inLength = sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1;
        if (!DeviceIoControl(device.Get(), IOCTL_SCSI_MINIPORT, buffer, inLength, buffer,
                             static_cast<DWORD>(sizeof(SRB_IO_CONTROL) + outLength), &returned,
                             nullptr)) {
            continue;
        }
        const uint8_t* identify =
            reinterpret_cast<SENDCMDOUTPARAMS*>(buffer + sizeof(SRB_IO_CONTROL))->bBuffer;
        if (identify[kModelNumberOffset] != 0) serial = SerialFromIdentifyData(identify);
    }
    return serial;
}

}  // namespace

std::string SerialFromIdentifyData(const uint8_t* identify) {
    // A zero byte counts as a blank: the identity travels as a C string and would end there.
    auto character = [](uint8_t byte) { return byte ? static_cast<char>(byte) : ' '; };
    std::string serial;
    for (size_t word = 10; word < 20; ++word) {
        serial += character(identify[word * 2 + 1]);
        serial += character(identify[word * 2]);
    }
    return serial;
}

std::string GetDiskSerial() {
    for (BYTE drive = 0; drive < 4; ++drive) {
        const std::string serial = SerialOfPhysicalDrive(drive);
        if (serial.size() == kSerialLength && serial != kBlankSerial) return serial;
    }
    for (int port = 0; port < 2; ++port) {
        const std::string serial = SerialOfScsiPort(port);
        if (serial.size() == kSerialLength && serial != kBlankSerial) return serial;
    }
    return kBlankSerial;
}
