#pragma once

#include <string>

// Copies `source` over `target` even when the target is held open by a running program: an
// existing target is first moved aside ("{target}~{n}", deleted now or at the next reboot), so that
// a target deleted while held cannot take the copy with it when its holder closes it; one that
// cannot be moved is written over, else renamed to "{target}.rename". Five rounds of three copy
// attempts with one-second pauses (see retry_pause.h), then one last attempt. True only when the target now holds the copy;
// false at once, with nothing written, when a link lies on the target's way.
bool CopyLockedFile(const std::wstring& source, const std::wstring& target);
