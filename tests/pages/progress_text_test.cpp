// The status line and the percentage the progress page shows for the engine's reports.
#include <gtest/gtest.h>

#include <string>

#include "ui/pages/progress_text.h"

namespace {

TEST(ProgressText, EachStepHasItsStatusOrLeavesItUnchanged) {
    EXPECT_EQ(std::wstring(L"正在提取安装文件..."), ui::StatusTextOfStep(0));
    EXPECT_EQ(nullptr, ui::StatusTextOfStep(1));
    EXPECT_EQ(std::wstring(L"正在安装..."), ui::StatusTextOfStep(2));
    EXPECT_EQ(std::wstring(L"正在卸载已安装版本..."), ui::StatusTextOfStep(3));
    EXPECT_EQ(std::wstring(L"正在注册组件..."), ui::StatusTextOfStep(4));
    EXPECT_EQ(nullptr, ui::StatusTextOfStep(5));
    EXPECT_EQ(nullptr, ui::StatusTextOfStep(17));
}

TEST(ProgressText, OnlyTheWorkingStepsBringUpTheProgressPage) {
    for (int step = -1; step <= 6; ++step) {
        EXPECT_EQ(step >= 2 && step <= 4, ui::StepShowsProgressPage(step)) << "step " << step;
    }
}

TEST(ProgressText, ThePercentageIsTheNearestWholeNumber) {
    EXPECT_EQ(100, ui::PercentOf(0.996f));
    EXPECT_EQ(99, ui::PercentOf(0.994f));
    EXPECT_EQ(1, ui::PercentOf(0.01f));
    EXPECT_EQ(37, ui::PercentOf(0.37f));
    EXPECT_EQ(0, ui::PercentOf(0.0f));
}

}  // namespace
