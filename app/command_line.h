#pragma once

#include <cstdint>
#include <string>

// How the setup runs; the numbers are compared by other modules.
enum class SetupMode : int32_t {
    Fast = 0,    // the window installs by itself with the default choices
    Normal = 1,  // the user presses install
    NoUi = 2,    // no window and no message box at all
};

// The options of one command-line parse. The controller and the engine each keep their own.
class CommandLineOptions {
public:
    enum AutoStart : int32_t { kAutoStartNotGiven = 0, kAutoStartFalse = 1, kAutoStartTrue = 2 };

    SetupMode Mode() const { return m_mode; }
    std::wstring InstallFolder() const { return m_strInstallFolder; }
    std::wstring SourceTag() const { return m_strSourceTag; }
    std::wstring UserId() const { return m_strUserId; }
    std::wstring Lt() const { return m_strLt; }
    std::wstring StartArguments() const { return m_strStartArguments; }
    int32_t AutoStartValue() const { return m_nAutoStart; }

private:
    friend void ApplyOption(CommandLineOptions& options, const std::wstring& key, const std::wstring& value);

    SetupMode m_mode = SetupMode::Normal;
    std::wstring m_strInstallFolder;
    std::wstring m_strSourceTag;
    std::wstring m_strUserId;
    std::wstring m_strLt;
    std::wstring m_strStartArguments;
    int32_t m_nAutoStart = kAutoStartNotGiven;
};

// "fast" gives Fast, "noui" gives NoUi, any other text Normal (case-insensitive).
SetupMode ParseMode(const std::wstring& keyword);

// Applies one "/key:value" pair; unknown keys are ignored.
void ApplyOption(CommandLineOptions& options, const std::wstring& key, const std::wstring& value);

// Fills `options` from an already split argument list (element 0 is the program path).
void ParseArguments(CommandLineOptions& options, int argc, const wchar_t* const* argv);

// Fills `options` from the process command line.
void ParseCommandLine(CommandLineOptions& options);
