// The operating-system calls whose failures tests must be able to provoke.
// Production code calls them through g_SystemCalls, which is bound to the real
// functions; a test re-points one entry for as long as it needs the fault.
#pragma once

#include <windows.h>

struct SystemCalls
{
    // Threads, events and timing.
    decltype(&::CreateThread) CreateThread;
    decltype(&::CreateEventA) CreateEventA;
    decltype(&::SetEvent) SetEvent;
    decltype(&::WaitForMultipleObjects) WaitForMultipleObjects;
    decltype(&::Sleep) Sleep;
    decltype(&::QueryPerformanceCounter) QueryPerformanceCounter;
    decltype(&::QueryPerformanceFrequency) QueryPerformanceFrequency;
    decltype(&::GetVersionExA) GetVersionExA;

    // Registry.
    decltype(&::RegOpenKeyExA) RegOpenKeyExA;
    decltype(&::RegEnumKeyExA) RegEnumKeyExA;
    decltype(&::RegQueryInfoKeyA) RegQueryInfoKeyA;
    decltype(&::RegQueryValueExA) RegQueryValueExA;
    decltype(&::RegCloseKey) RegCloseKey;

    // Directories and files.
    decltype(&::GetSystemDirectoryA) GetSystemDirectoryA;
    decltype(&::GetWindowsDirectoryA) GetWindowsDirectoryA;
    decltype(&::FindFirstFileA) FindFirstFileA;
    decltype(&::FindClose) FindClose;
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::ReadFile) ReadFile;
    decltype(&::WriteFile) WriteFile;
    decltype(&::FlushFileBuffers) FlushFileBuffers;
    decltype(&::MoveFileExW) MoveFileExW;

    // Memory, system texts and libraries.
    decltype(&::GlobalAlloc) GlobalAlloc;
    decltype(&::FormatMessageA) FormatMessageA;
    decltype(&::LoadLibraryExA) LoadLibraryExA;

    // The message that hands a finished run back to the window thread.
    decltype(&::SendMessageA) SendMessageA;

    // The screen: the user's high-contrast setting, and the work area of the
    // monitor a window is on. Wine can set neither for another process.
    decltype(&::SystemParametersInfoA) SystemParametersInfoA;
    decltype(&::GetMonitorInfoA) GetMonitorInfoA;

    // WOW64. Looked up in kernel32 at start-up and null where the system lacks
    // them (IsWow64Process before XP SP2, the redirection switches on 32-bit
    // XP): imported, they would keep the program from starting there.
    decltype(&::IsWow64Process) IsWow64Process;
    decltype(&::Wow64DisableWow64FsRedirection) Wow64DisableWow64FsRedirection;
    decltype(&::Wow64RevertWow64FsRedirection) Wow64RevertWow64FsRedirection;
    decltype(&::GetSystemWow64DirectoryA) GetSystemWow64DirectoryA;
    // Windows 10 1511 and later: also the native machine, which tells ARM64
    // from x64 where a program of either runs emulated.
    BOOL(WINAPI* IsWow64Process2)(HANDLE hProcess, USHORT* pProcessMachine, USHORT* pNativeMachine);

    // The system-directory-only library search: Windows 8 and later, Vista
    // and 7 with the loader update (KB2533623); null elsewhere.
    decltype(&::SetDefaultDllDirectories) SetDefaultDllDirectories;
};

extern SystemCalls g_SystemCalls;

// The reason the call just made failed: GetLastError, or dwFallback when the
// failed call left none, so that a failure never reads as success (0).
inline DWORD LastErrorOr(DWORD dwFallback)
{
    const DWORD dwError = ::GetLastError();
    return dwError != ERROR_SUCCESS ? dwError : dwFallback;
}

// The table bound to the real functions.
const SystemCalls& RealSystemCalls();
