// The four installer events as they reach a server, through the process-wide report manager.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fake_report_server.h"
#include "report/installer_events.h"
#include "report/report_texts.h"

namespace {

using pelora_data_report::ReportItem;
using pelora_data_report::ReportValue;
using Reply = FakeReportServer::Reply;

// The process-wide manager reads its server once, from the environment, when first used.
FakeReportServer& ProcessServer() {
    static FakeReportServer server;
    static const bool configured = [] {
        const std::string value = "127.0.0.1:" + std::to_string(server.port());
        return SetEnvironmentVariableA(report_texts::kServerOverrideVariable, value.c_str()) != 0;
    }();
    EXPECT_TRUE(configured);
    return server;
}

std::vector<ReportItem> AllItems(FakeReportServer& server) {
    std::vector<ReportItem> items;
    for (const auto& message : server.messages()) {
        for (const auto& item : message.list_reportitem()) items.push_back(item);
    }
    return items;
}

std::string Names(const ReportItem& item) {
    std::string names;
    for (const auto& value : item.list_reportvalue()) names += value.string_fieldname() + ",";
    return names;
}

const ReportValue* Value(const ReportItem& item, const std::string& name) {
    for (const auto& value : item.list_reportvalue()) {
        if (value.string_fieldname() == name) return &value;
    }
    return nullptr;
}

TEST(InstallerEvents, DroppedBeforeInitThenSentWithTheirValues) {
    FakeReportServer& server = ProcessServer();
    ReportInstallerStart();
    ReportShutdown(200);
    EXPECT_FALSE(server.WaitForFrames(1, 500));

    ASSERT_TRUE(ReportInit(L"100", L"200", L"abc", L"u7"));
    ReportInstallerStart();
    ReportInstallerError(3001);
    ReportInstallerDone(95);
    const DWORD start = GetTickCount();
    ReportShutdown(5000);
    EXPECT_LT(GetTickCount() - start, 5000u);

    const auto messages = server.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("1.14.301", messages[0].string_clientversion());
    EXPECT_EQ("u7", messages[0].string_uid());
    EXPECT_EQ("", messages[0].string_clientbuild());

    const auto items = AllItems(server);
    ASSERT_EQ(3u, items.size());
    for (const auto& item : items) {
        EXPECT_EQ("b_lmq_im_active_base", item.string_bid());
        EXPECT_EQ("interactive_video_data_report", item.string_tid());
        EXPECT_FALSE(item.has_string_action());
        EXPECT_EQ(ReportItem::NETWORK_TYPE_UNKNOWN, item.networktype());
        EXPECT_EQ("abc", Value(item, "installsrc")->string_value());
        EXPECT_EQ("100", Value(item, "res3")->string_value());
        EXPECT_EQ("200", Value(item, "res4")->string_value());
        EXPECT_EQ(ReportValue::VALUE_TYPE_STRING, Value(item, "res1")->valuetype());
    }
    EXPECT_EQ("installer_start", Value(items[0], "action")->string_value());
    EXPECT_EQ("action,installsrc,res1,res3,res4,", Names(items[0]));

    EXPECT_EQ("installer_error", Value(items[1], "action")->string_value());
    EXPECT_EQ("action,installsrc,res1,res2,res3,res4,", Names(items[1]));
    EXPECT_EQ(ReportValue::VALUE_TYPE_UINT32, Value(items[1], "res2")->valuetype());
    EXPECT_EQ(3001u, Value(items[1], "res2")->uint_value());

    EXPECT_EQ("installer_done", Value(items[2], "action")->string_value());
    EXPECT_EQ("action,installsrc,res1,res3,res4,start_ts,", Names(items[2]));
    EXPECT_EQ(ReportValue::VALUE_TYPE_UINT32, Value(items[2], "start_ts")->valuetype());
    EXPECT_EQ(95u, Value(items[2], "start_ts")->uint_value());

    // An event after the shutdown is still queued and sent by a new report thread.
    ReportInstallerAbort();
    ReportShutdown(5000);
    const auto after = AllItems(server);
    ASSERT_EQ(4u, after.size());
    EXPECT_EQ("installer_abort", Value(after[3], "action")->string_value());
}

TEST(InstallerEventsDeathTest, AbortWithASilentServerWaitsAtMostItsBoundAndExitsCleanly) {
    EXPECT_EXIT(
        {
            ProcessServer().SetReply(Reply::kSilent);
            if (!ReportInit(L"30004", L"", L"30004", L"")) std::exit(4);
            ReportInstallerAbort();
            const DWORD start = GetTickCount();
            ReportShutdown(1000);
            std::exit(GetTickCount() - start < 1800 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace

namespace {

TEST(InstallerEventsDeathTest, ExitWithoutShutdownWhileTheReportThreadWaitsIsClean) {
    EXPECT_EXIT(
        {
            ProcessServer().SetReply(FakeReportServer::Reply::kSilent);
            if (!ReportInit(L"30004", L"", L"30004", L"")) std::exit(4);
            ReportInstallerStart();
            Sleep(300);  // the report thread now waits for an acknowledgement that never comes
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
