#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace {

CommandLineOptions Parse(std::vector<const wchar_t*> arguments) {
    arguments.insert(arguments.begin(), L"C:\\PeloraSetup.exe");
    CommandLineOptions options;
    ParseArguments(options, static_cast<int>(arguments.size()), arguments.data());
    return options;
}

TEST(CommandLineMode, KeyAndKeywordAreCaseInsensitive) {
    EXPECT_EQ(SetupMode::NoUi, Parse({L"/MODE:NoUi"}).Mode());
    EXPECT_EQ(SetupMode::Fast, Parse({L"/mode:FAST"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"/mode:fast", L"/mode:normal"}).Mode());
    EXPECT_EQ(SetupMode::Fast, Parse({L"/mode:fast", L"/mode:"}).Mode()) << "an empty value changes nothing";
    EXPECT_EQ(SetupMode::Normal, Parse({}).Mode());
}

TEST(CommandLineMode, SilentOneMeansFastAndTheLaterKeyWins) {
    EXPECT_EQ(SetupMode::Fast, Parse({L"/mode:noui", L"/silent:1"}).Mode());
    EXPECT_EQ(SetupMode::NoUi, Parse({L"/silent:1", L"/mode:noui"}).Mode());
    EXPECT_EQ(SetupMode::Fast, Parse({L"/silent:01"}).Mode());
    EXPECT_EQ(SetupMode::Fast, Parse({L"/silent: 1"}).Mode());
    EXPECT_EQ(SetupMode::Fast, Parse({L"/silent:1x"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"/silent:true"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"/silent:2"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"/silent:99999999999999999999"}).Mode()) << "out of range counts as -1";
}

TEST(CommandLineSyntax, ArgumentsWithoutSlashOrValueAreIgnored) {
    EXPECT_EQ(SetupMode::Normal, Parse({L"-mode:noui"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"mode:noui"}).Mode());
    EXPECT_EQ(SetupMode::Normal, Parse({L"/modenoui"}).Mode());
    EXPECT_TRUE(Parse({L"/:x", L"/src:"}).SourceTag().empty());
}

TEST(CommandLineSyntax, OnlyTheFirstColonSplits) {
    EXPECT_EQ(L"/a:b", Parse({L"/startargs:/a:b"}).StartArguments());
    EXPECT_EQ(L"a b", Parse({L"/LT:a b"}).Lt());
}

TEST(CommandLineValues, StringsAreKeptAsGiven) {
    CommandLineOptions options = Parse({L"/src:VT", L"/uin:12345", L"/lt:x"});
    EXPECT_EQ(L"VT", options.SourceTag());
    EXPECT_EQ(L"12345", options.UserId());
    EXPECT_EQ(L"x", options.Lt());
}

TEST(CommandLineValues, AutoStartTakesOnlyTrueOrFalse) {
    EXPECT_EQ(CommandLineOptions::kAutoStartTrue, Parse({L"/auto_start:TRUE"}).AutoStartValue());
    EXPECT_EQ(CommandLineOptions::kAutoStartFalse, Parse({L"/auto_start:false"}).AutoStartValue());
    EXPECT_EQ(CommandLineOptions::kAutoStartNotGiven, Parse({L"/auto_start:yes"}).AutoStartValue());
    EXPECT_EQ(CommandLineOptions::kAutoStartFalse, Parse({L"/auto_start:false", L"/auto_start:maybe"}).AutoStartValue());
}

TEST(CommandLineValues, InstallFolderIsTrimmedAndKeptOnlyWhenValid) {
    EXPECT_EQ(L"C:\\Apps", Parse({L"/install_dir:  C:\\Apps\t"}).InstallFolder());
    EXPECT_TRUE(Parse({L"/install_dir:C:\\Ap?ps"}).InstallFolder().empty());
    EXPECT_TRUE(Parse({L"/install_dir:relative\\folder"}).InstallFolder().empty());
}

TEST(CommandLineValues, InstallFolderKeepsOneSpellingAndRefusesDotNames) {
    EXPECT_EQ(L"C:\\Apps", Parse({L"/install_dir:C:\\Apps\\"}).InstallFolder());
    EXPECT_TRUE(Parse({L"/install_dir:C:\\Apps\\\\"}).InstallFolder().empty());
    for (const wchar_t* dots : {L"/install_dir:C:\\.", L"/install_dir:C:\\..", L"/install_dir:C:\\Apps\\..\\.."})
        EXPECT_TRUE(Parse({dots}).InstallFolder().empty()) << dots;
}

// A generated line held "C:\C:\..." as its folder: a name with a colon names a stream on NTFS, so
// no folder can be made there. A refused value leaves the folder an earlier value gave.
TEST(CommandLineValues, InstallFolderWithAColonInANameIsRefused) {
    for (const wchar_t* colon : {L"/install_dir:C:\\C:\\x", L"/install_dir:C:\\a:b", L"/install_dir:C:\\Apps\\x:"})
        EXPECT_TRUE(Parse({colon}).InstallFolder().empty()) << colon;
    EXPECT_EQ(L"C:\\Apps", Parse({L"/install_dir:C:\\Apps", L"/install_dir:C:\\a:b"}).InstallFolder());
}

}  // namespace
