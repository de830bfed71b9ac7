#pragma once

#include <string>

namespace diag {

// The current user's roaming application-data folder (CSIDL_APPDATA) without a trailing "\", or
// empty when the shell cannot give it. With `create` the shell makes the folder when missing.
std::wstring AppDataFolder(bool create);

}  // namespace diag
