#pragma once

#include <string>

// Copies `source` over `target` as CopyFileW(source, target, FALSE) does (the target takes the
// source's attributes and last-write time; a target held open or read-only is refused and left as
// it was, as on Windows), but in pieces of 4 MiB, so that a large product tree goes through in few reads and
// writes. A copy that fails after the target was created removes the incomplete target. False
// with the system's last error on failure.
bool CopyFileContents(const std::wstring& source, const std::wstring& target);
