#include "SystemCalls.h"

const SystemCalls& RealSystemCalls()
{
    static const SystemCalls real = {
        ::CreateThread,
        ::CreateEventA,
        ::SetEvent,
        ::WaitForMultipleObjects,
        ::Sleep,
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
        ::SendMessageA,
    };
    return real;
}

SystemCalls g_SystemCalls = RealSystemCalls();
