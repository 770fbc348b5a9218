// The faults and recorders that tests put into the seam (g_SystemCalls), each
// for as long as it lives: calls that fail as only the system can make them
// fail, the registry and file faults of the installation checks, a process
// under WOW64, and recorders of what the product asked of the system.
#pragma once

#include "support/Fixtures.h"

#include <functional>
#include <string>
#include <vector>

namespace SeamFake
{
// The fake that stands in a slot of type Fn: it counts its calls and returns
// what it was given, with the last error given.
template <typename Fn>
struct Failing;
template <typename R, typename... Args>
struct Failing<R(WINAPI*)(Args...)>
{
    static inline R s_result{};
    static inline DWORD s_dwError = 0;
    static inline int s_nCalls = 0;
    static R WINAPI Call(Args...)
    {
        ++s_nCalls;
        ::SetLastError(s_dwError);
        return s_result;
    }
};
} // namespace SeamFake

// Every call through the slot fails: it returns result and leaves dwError as
// the last error, as a system short of memory or rights would answer.
//   CallFault noThread(g_SystemCalls.CreateThread, nullptr, ERROR_NOT_ENOUGH_MEMORY);
template <typename Fn>
class CallFault : SystemCallOverride<Fn>
{
public:
    template <typename R>
    CallFault(Fn& slot, R result, DWORD dwError) : SystemCallOverride<Fn>(slot, SeamFake::Failing<Fn>::Call)
    {
        SeamFake::Failing<Fn>::s_result = result;
        SeamFake::Failing<Fn>::s_dwError = dwError;
        SeamFake::Failing<Fn>::s_nCalls = 0;
    }
    // The calls failed so far.
    static int Calls() { return SeamFake::Failing<Fn>::s_nCalls; }
};

// The nth file write from now on (from 1) writes only its first
// dwBytesBefore bytes and fails with dwError, as a full disk does; with
// ERROR_SUCCESS it leaves no reason. Every other write is made.
struct WriteFault : SystemCallOverride<decltype(SystemCalls::WriteFile)>
{
    WriteFault(int nFailingWrite, DWORD dwError, DWORD dwBytesBefore = 0);
};

// Counts the events set through the seam, and calls atEach (when given) as
// each is set, before it is.
class SetEventRecorder : SystemCallOverride<decltype(SystemCalls::SetEvent)>
{
public:
    explicit SetEventRecorder(std::function<void()> atEach = {});
    static int Calls();
};

// Counts the threads created through the seam and keeps a copy of the
// handle of the last one, which outlives the creator's own.
class ThreadRecorder : SystemCallOverride<decltype(SystemCalls::CreateThread)>
{
public:
    ThreadRecorder();
    ~ThreadRecorder();
    static int Calls();
    // The copy of the last thread's handle, for the caller to close; null when
    // none was created.
    static HANDLE TakeLast();
};

// ---- Faults of the registry and the file system: each fails one kind of
// call as long as it lives, and hands every other call to the real function.

// A file search whose path ends in the name (any letter case) fails with dwError.
struct FileSearchFault : SystemCallOverride<decltype(SystemCalls::FindFirstFileA)>
{
    FileSearchFault(const std::string& name, DWORD dwError);
};

// Opening a key whose path ends in the text (any letter case) fails with lError.
struct KeyOpenFault : SystemCallOverride<decltype(SystemCalls::RegOpenKeyExA)>
{
    KeyOpenFault(const std::string& pathEnd, LONG lError);
};

// Every subkey-count query fails with lError.
struct CountQueryFault : CallFault<decltype(SystemCalls::RegQueryInfoKeyA)>
{
    explicit CountQueryFault(LONG lError) : CallFault(g_SystemCalls.RegQueryInfoKeyA, lError, ERROR_SUCCESS) {}
};

// Every subkey enumeration fails with lError at the given index.
struct EnumerationFault : SystemCallOverride<decltype(SystemCalls::RegEnumKeyExA)>
{
    EnumerationFault(DWORD dwIndex, LONG lError);
};

// The system or the Windows directory query returns uResult (0: failed) with
// the last error dwError.
struct DirectoryFault : CallFault<decltype(SystemCalls::GetSystemDirectoryA)>
{
    enum Which
    {
        SYSTEM,
        WINDOWS
    };
    DirectoryFault(Which which, UINT uResult, DWORD dwError)
        : CallFault(which == SYSTEM ? g_SystemCalls.GetSystemDirectoryA : g_SystemCalls.GetWindowsDirectoryA, uResult,
                    dwError)
    {
    }
};

// Shows the checks a process under WOW64 (or not) through the seam, with
// redirection switches that work, fail or are absent, and watches their use:
// a driver file (a path with "\Drivers\") is searched only while redirection
// is off where it can be turned off, nothing else is searched, opened, read or
// loaded while it is off, and every switch off is followed by one back on.
// What it saw wrong fails the test when the holder goes.
class Wow64Seam : NonCopyable
{
public:
    enum Kind
    {
        NOT_WOW64,            // IsWow64Process says no
        NO_ISWOW64PROCESS,    // the system has no IsWow64Process
        ISWOW64PROCESS_FAILS, // it fails with dwError
        WOW64,                // under WOW64, switches that work
        WOW64_NO_SWITCHES,    // under WOW64, the switches absent
        WOW64_DISABLE_FAILS,  // turning redirection off fails with dwError
        WOW64_REVERT_FAILS,   // turning it back on reports dwError
    };
    explicit Wow64Seam(Kind kind, DWORD dwError = ERROR_ACCESS_DENIED);
    ~Wow64Seam();

private:
    SystemCalls m_saved;
};
