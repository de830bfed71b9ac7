// Stand-in for "MivoVistaHelper.dll": a DLL that loads and does nothing.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) int __stdcall MivoHelperVersion() { return 1; }
