#pragma once

#include <string>

// The client's updater keeps its state in {appData}\Corvane\Pelora\AuUpdate\: "AuQuietUpdate.ini"
// names the version folder in use and the older ones it left behind, "AuVersion.ini" marks an
// update in progress. After an install both must describe the new version.

// Deletes the version folders the updater left behind (only the product's own, never the new
// one) and the programs folder, then rewrites "AuQuietUpdate.ini" to name `newVersionFolder` as
// the current one with no history.
void DeleteVersion(const std::wstring& newVersionFolder);

// Removes the update marker, or at least its "state" key when the file cannot be deleted. True
// when no marker or no state is left.
bool ResetUpdateState();
