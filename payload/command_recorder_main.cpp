// A stand-in program that only records how it was started (see evidence.h). Built as the
// launcher "PL.exe", the uninstaller, the single-sign-on installer and the pin program;
// STANDIN_NAME names the evidence file. A test can keep it running (evidence.h, StayWhileMarked).
#include <windows.h>

#include "payload/evidence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    standin::RecordCommandLine(STANDIN_NAME);
    standin::StayWhileMarked(STANDIN_NAME);
    return 0;
}
