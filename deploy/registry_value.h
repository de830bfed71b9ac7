#pragma once

#include <windows.h>

#include <string>

#include "diag/win_handle.h"

// Opens `path` below `hive` with KEY_WRITE, creating it when it cannot be opened.
bool OpenOrCreateKey(HKEY hive, const wchar_t* path, diag::ScopedRegKey& key);
// Opens `path` below `hive` for reading.
bool OpenKeyForReading(HKEY hive, const wchar_t* path, diag::ScopedRegKey& key);

// Writes `data` as REG_SZ; the stored size includes the terminating NUL. Returns the Win32 result.
LONG WriteStringValue(HKEY key, const wchar_t* name, const std::wstring& data);
// Writes `data` as REG_DWORD. Returns the Win32 result.
LONG WriteDwordValue(HKEY key, const wchar_t* name, DWORD data);
// Reads a REG_SZ (or REG_EXPAND_SZ, unexpanded) value of any length; false when it is missing or
// of another type.
bool ReadStringValue(HKEY key, const wchar_t* name, std::wstring& data);
