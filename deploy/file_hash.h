#pragma once

#include <windows.h>

#include <string>

// SHA-256 of a file's bytes through the system's CryptoAPI (the RSA/AES provider, which Windows
// has from XP SP3 on). The digest is written as 64 lower-case hexadecimal digits.

// The digest of the file at `path`, read from its first byte to its last; empty when the file
// cannot be opened or read or the system has no SHA-256 (logged). Others may read the file
// meanwhile but not write it.
std::wstring Sha256OfFile(const std::wstring& path);

// The digest of what the open `file` holds (opened with GENERIC_READ), read from its first byte;
// empty, logged with `name`, when it cannot be had.
std::wstring Sha256OfOpenFile(HANDLE file, const std::wstring& name);
