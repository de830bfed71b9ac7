#pragma once

#include <string>

// How the uninstaller reads a path out of a registry value that names an install: the value may
// have been written by an earlier setup, through another spelling of the same folder (an 8.3
// name, another letter case, "/" for "\"), or by any program the user runs. What counts is the
// object on disk the path opens to (files::IsSameObject), never the text.

// True when `registered` and `ours` name the same file or folder: the same object when anything
// exists at either path, the same full, long-form path in any letter case when neither exists.
// An empty or relative path names nothing.
bool NamesSamePath(const std::wstring& registered, const std::wstring& ours);

// The path a value names: the text between its quotes when it begins with a quote (what follows
// the closing quote, such as arguments, is left out), else the whole text, blanks included (older
// setups wrote paths below "C:\Program Files" unquoted).
std::wstring PathInValue(const std::wstring& value);

// The program a command line starts: its first token, without its quotes; unquoted, the text up to
// the first blank.
std::wstring ProgramOf(const std::wstring& commandLine);
