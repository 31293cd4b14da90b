// BrokenTypeLib.dll: a library whose type-library resource is not a type library.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
