#pragma once

#include <vector>

#include "diag/cvlog_record.h"

// The records of data/known_records.tlg. tests/diag/test_tlgdump.py expects the same content when
// it decodes that file with tools/tlgdump.py, so both mask tables must agree with the file.
namespace diag_test {

inline std::vector<diag::CVLogRecordFields> KnownRecordFields() {
    std::vector<diag::CVLogRecordFields> all(4);
    for (size_t i = 0; i < all.size(); ++i) {
        all[i].processId = 4242;
        all[i].threadId = 17;
        all[i].tick = static_cast<std::uint32_t>(1000 + i);
        all[i].wallSeconds = 1457341502 + static_cast<std::int64_t>(i);
        all[i].instanceCookie = 0x5EED;
        all[i].processStartTick = 900;
        all[i].moduleAddress = L"0x140000000";
    }
    all[0].level = 1;
    all[0].line = 955;
    all[0].sourceFile = L"Log";
    all[0].function = L"CVLog_DoCVLogVW";
    all[0].category = L"PerfBenchmark";
    all[0].message = L"10000000";

    all[1].level = 2;
    all[1].line = 88;
    all[1].sourceFile = L"C:\\src\\report/data_report_mgr.cpp";
    all[1].function = L"DataReportMgr::DataReportMgr";
    all[1].category = L"PeloraDataReport.Event";
    all[1].message = L"\u6570\u636e\u4e0a\u62a5\u4e0a\u62a5\u6784\u9020\u5b8c\u6210";

    all[2].level = 4;
    all[2].line = 301;
    all[2].perfCounter = 123456789;
    all[2].sourceFile = L"report_sender.cpp";
    all[2].function = L"DataReportMgr::SendToServer";
    all[2].category = L"PeloraDataReport";
    for (int i = 0; i < 100; ++i) all[2].message += static_cast<wchar_t>(L'a' + i % 26);

    all[3].level = 2;
    all[3].line = 7;
    all[3].sourceFile = L"report_thread.cpp";
    all[3].function = L"DataReportMgr::Run";
    all[3].category = L"PeloraDataReport.Event.ERROR";
    all[3].message = L"";
    return all;
}

}  // namespace diag_test
