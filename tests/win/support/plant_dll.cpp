// A DLL of no use, planted beside a test program to see whether a search finds it.
#include <windows.h>

extern "C" __declspec(dllexport) int KelvoPlanted() { return 1; }
