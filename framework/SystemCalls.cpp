#include "SystemCalls.h"

namespace
{
// A kernel32 function that not every supported Windows has, or null.
template <typename Fn>
Fn OptionalKernelFunction(LPCSTR pszName)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), pszName)));
}
} // namespace

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
        ::CreateFileW,
        ::ReadFile,
        ::WriteFile,
        ::FlushFileBuffers,
        ::MoveFileExW,
        ::GlobalAlloc,
        ::FormatMessageA,
        ::LoadLibraryExA,
        ::SendMessageA,
        ::SystemParametersInfoA,
        ::GetMonitorInfoA,
        OptionalKernelFunction<decltype(SystemCalls::IsWow64Process)>("IsWow64Process"),
        OptionalKernelFunction<decltype(SystemCalls::Wow64DisableWow64FsRedirection)>("Wow64DisableWow64FsRedirection"),
        OptionalKernelFunction<decltype(SystemCalls::Wow64RevertWow64FsRedirection)>("Wow64RevertWow64FsRedirection"),
        OptionalKernelFunction<decltype(SystemCalls::GetSystemWow64DirectoryA)>("GetSystemWow64DirectoryA"),
        OptionalKernelFunction<decltype(SystemCalls::IsWow64Process2)>("IsWow64Process2"),
        OptionalKernelFunction<decltype(SystemCalls::SetDefaultDllDirectories)>("SetDefaultDllDirectories"),
    };
    return real;
}

SystemCalls g_SystemCalls = RealSystemCalls();
