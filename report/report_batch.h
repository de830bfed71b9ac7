#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/report_item.h"

namespace pelora_data_report {
class ReportData;
}

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

// Fills `message` from the batch header and items[first, first + count): texts only when not
// empty, the network type only when it is 1 to 6, values in the byte order of their names.
void BuildReportData(const ReportBatch& batch, size_t first, size_t count, uint32_t clientSeq,
                     pelora_data_report::ReportData* message);
