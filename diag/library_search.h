#pragma once

namespace diag {

// Takes the program's own folder and the current folder out of the search for every library
// loaded by name from now on, and for the libraries those load: only the system folder is
// searched where Windows allows it (SetDefaultDllDirectories: Windows 8, or Windows 7 and Vista
// with the loader update), and at least the current folder goes everywhere else. The setup is
// started from a download folder and both programs may run elevated: a library of somebody's
// beside them must not be loaded. Call first thing in the program.
void RestrictLibrarySearchToSystem();

}  // namespace diag
