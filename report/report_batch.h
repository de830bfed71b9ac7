#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/report_item.h"

// One future message: the header stamped from the manager and the items that share it.
struct ReportBatch {
    std::string clientVersion;
    std::string uid;
    std::string clientBuild;
    int terminalType = 1;
    // These four stay empty: the device identity travels inside the items.
    std::string deviceId;
    std::string osVersion;
    std::string device;
    std::string rom;
    std::vector<PeloraReportItem> items;
};

// One message on its way: a run of a batch's items under the batch's header, and the message's
// sequence number.
struct ReportMessage {
    ReportBatch content;
    uint32_t clientSeq = 0;
};

// items[first, first + count) of the batch (fewer at its end) under the batch's header.
ReportMessage MakeReportMessage(const ReportBatch& batch, size_t first, size_t count,
                                uint32_t clientSeq);

// The message as the bytes of a ReportData (report/pelora_datareport.proto), exactly as protobuf
// serialises it: the header texts always (rom never), the terminal type PC, an item's texts only
// when not empty, its network type only when it is 1 to 6, its values in the byte order of their
// names.
std::string EncodeReportData(const ReportMessage& message);
