#pragma once

#include <cstdint>
#include <string>

// The installer's telemetry events. ReportInit runs once while the engine initialises; until it
// has succeeded every other call does nothing. Events are queued as immediate items and sent by
// the report thread; the callers never wait for them except in ReportShutdown.

// res3Source: the first channel (or the install source when none was recorded); res4Source: the
// channel of a previous install, empty when none; installsrcSource: the "src" option or "30004";
// uid: the "uin" option. False when the report facade cannot be created.
bool ReportInit(const std::wstring& res3Source, const std::wstring& res4Source,
                const std::wstring& installsrcSource, const std::wstring& uid);
void ReportInstallerStart();
void ReportInstallerDone(uint32_t elapsedSeconds);
void ReportInstallerAbort();
void ReportInstallerError(uint32_t code);
// The uninstaller's event: the removal's result (0 removed, 1 failed), its duration and whether
// the user's data went too.
void ReportUninstallerDone(uint32_t result, uint32_t elapsedSeconds, bool userDataRemoved);
// Flushes and waits at most `milliseconds` for the report thread to send what is queued.
void ReportShutdown(uint32_t milliseconds);
