#include "SystemCalls.h"

const SystemCalls& RealSystemCalls()
{
    static const SystemCalls real = {
        ::CreateThread,
        ::CreateEventA,
        ::SetEvent,
        ::WaitForMultipleObjects,
        ::QueryPerformanceCounter,
        ::QueryPerformanceFrequency,
        ::GetVersionExA,
        ::RegOpenKeyExA,
        ::RegEnumKeyExA,
        ::RegQueryInfoKeyA,
        ::RegQueryValueExA,
        ::RegCloseKey,
        ::GetSystemDirectoryA,
        ::GetWindowsDirectoryA,
        ::FindFirstFileA,
        ::FindClose,
        ::CreateFileA,
        ::GetFileSize,
        ::SetFilePointer,
        ::ReadFile,
        ::WriteFile,
        ::GlobalAlloc,
        ::FormatMessageA,
        ::LoadLibraryA,
    };
    return real;
}

SystemCalls g_SystemCalls = RealSystemCalls();
