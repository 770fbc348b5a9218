#include "support/SeamFaults.h"

#include <gtest/gtest.h>

namespace
{
int g_nFailingWrite = 0;
DWORD g_dwWriteError = 0;
DWORD g_dwBytesBeforeFailure = 0;
int g_nWritesSeen = 0;

BOOL WINAPI FaultyWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten,
                            LPOVERLAPPED pOverlapped)
{
    if (++g_nWritesSeen != g_nFailingWrite)
        return ::WriteFile(hFile, pBuffer, dwToWrite, pdwWritten, pOverlapped);
    const DWORD dwPart = g_dwBytesBeforeFailure < dwToWrite ? g_dwBytesBeforeFailure : dwToWrite;
    *pdwWritten = 0;
    if (dwPart > 0)
        ::WriteFile(hFile, pBuffer, dwPart, pdwWritten, pOverlapped);
    ::SetLastError(g_dwWriteError);
    return FALSE;
}

std::function<void()> g_atEachSetEvent;
int g_nSetEvents = 0;

BOOL WINAPI RecordingSetEvent(HANDLE hEvent)
{
    ++g_nSetEvents;
    if (g_atEachSetEvent)
        g_atEachSetEvent();
    return ::SetEvent(hEvent);
}

int g_nThreads = 0;
HANDLE g_hLastThread = nullptr;

HANDLE WINAPI RecordingCreateThread(LPSECURITY_ATTRIBUTES pSecurity, SIZE_T cbStack, LPTHREAD_START_ROUTINE pfnStart,
                                    LPVOID pParam, DWORD dwFlags, LPDWORD pdwThreadId)
{
    ++g_nThreads;
    const HANDLE hThread = ::CreateThread(pSecurity, cbStack, pfnStart, pParam, dwFlags, pdwThreadId);
    if (hThread == nullptr)
        return nullptr;
    if (g_hLastThread != nullptr)
        ::CloseHandle(g_hLastThread);
    ::DuplicateHandle(::GetCurrentProcess(), hThread, ::GetCurrentProcess(), &g_hLastThread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    return hThread;
}
} // namespace

WriteFault::WriteFault(int nFailingWrite, DWORD dwError, DWORD dwBytesBefore)
    : SystemCallOverride(g_SystemCalls.WriteFile, FaultyWriteFile)
{
    g_nFailingWrite = nFailingWrite;
    g_dwWriteError = dwError;
    g_dwBytesBeforeFailure = dwBytesBefore;
    g_nWritesSeen = 0;
}

SetEventRecorder::SetEventRecorder(std::function<void()> atEach)
    : SystemCallOverride(g_SystemCalls.SetEvent, RecordingSetEvent)
{
    g_atEachSetEvent = std::move(atEach);
    g_nSetEvents = 0;
}

int SetEventRecorder::Calls()
{
    return g_nSetEvents;
}

ThreadRecorder::ThreadRecorder() : SystemCallOverride(g_SystemCalls.CreateThread, RecordingCreateThread)
{
    g_nThreads = 0;
}

ThreadRecorder::~ThreadRecorder()
{
    if (g_hLastThread != nullptr)
        ::CloseHandle(TakeLast());
}

int ThreadRecorder::Calls()
{
    return g_nThreads;
}

HANDLE ThreadRecorder::TakeLast()
{
    const HANDLE hThread = g_hLastThread;
    g_hLastThread = nullptr;
    return hThread;
}

// ---- Faults of the registry and the file system

namespace
{
bool EndsWithIgnoringCase(const std::string& text, const std::string& end)
{
    if (end.size() > text.size())
        return false;
    return ::lstrcmpiA(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

std::string g_searchFaultEnd;
DWORD g_dwSearchFault = 0;

HANDLE WINAPI FaultyFindFirstFileA(LPCSTR pszPath, LPWIN32_FIND_DATAA pData)
{
    if (pszPath != nullptr && EndsWithIgnoringCase(pszPath, g_searchFaultEnd))
    {
        ::SetLastError(g_dwSearchFault);
        return INVALID_HANDLE_VALUE;
    }
    return RealSystemCalls().FindFirstFileA(pszPath, pData);
}

std::string g_openFaultEnd;
LONG g_lOpenFault = 0;

LONG WINAPI FaultyRegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (pszSubKey != nullptr && EndsWithIgnoringCase(pszSubKey, g_openFaultEnd))
        return g_lOpenFault;
    return RealSystemCalls().RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
}

DWORD g_dwEnumFaultIndex = 0;
LONG g_lEnumFault = 0;

LONG WINAPI FaultyRegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR pszName, LPDWORD pcchName, LPDWORD pReserved,
                                LPSTR pszClass, LPDWORD pcchClass, PFILETIME pftLastWrite)
{
    if (dwIndex == g_dwEnumFaultIndex)
        return g_lEnumFault;
    return RealSystemCalls().RegEnumKeyExA(hKey, dwIndex, pszName, pcchName, pReserved, pszClass, pcchClass,
                                           pftLastWrite);
}
} // namespace

FileSearchFault::FileSearchFault(const std::string& name, DWORD dwError)
    : SystemCallOverride(g_SystemCalls.FindFirstFileA, FaultyFindFirstFileA)
{
    g_searchFaultEnd = "\\" + name;
    g_dwSearchFault = dwError;
}

KeyOpenFault::KeyOpenFault(const std::string& pathEnd, LONG lError)
    : SystemCallOverride(g_SystemCalls.RegOpenKeyExA, FaultyRegOpenKeyExA)
{
    g_openFaultEnd = pathEnd;
    g_lOpenFault = lError;
}

EnumerationFault::EnumerationFault(DWORD dwIndex, LONG lError)
    : SystemCallOverride(g_SystemCalls.RegEnumKeyExA, FaultyRegEnumKeyExA)
{
    g_dwEnumFaultIndex = dwIndex;
    g_lEnumFault = lError;
}

// ---- WOW64

namespace
{
struct Wow64State
{
    SystemCalls inner;
    Wow64Seam::Kind kind;
    DWORD dwError;
    bool bOff = false;
    int nOff = 0;
    int nOn = 0;
    int nDriverSearches = 0;
    std::vector<std::string> misuses;
};
Wow64State* g_pWow64 = nullptr;
// What the switch hands out, to be handed back.
int g_nRedirectionToken = 0;

void NoteIfOff(const std::string& call)
{
    if (g_pWow64->bOff)
        g_pWow64->misuses.push_back(call + " while redirection was off");
}

BOOL WINAPI FakeIsWow64Process(HANDLE, PBOOL pbWow64)
{
    if (g_pWow64->kind == Wow64Seam::ISWOW64PROCESS_FAILS)
    {
        ::SetLastError(g_pWow64->dwError);
        return FALSE;
    }
    *pbWow64 = g_pWow64->kind != Wow64Seam::NOT_WOW64;
    return TRUE;
}

BOOL WINAPI FakeDisableRedirection(PVOID* ppOldValue)
{
    NoteIfOff("redirection turned off");
    if (g_pWow64->kind == Wow64Seam::WOW64_DISABLE_FAILS)
    {
        ::SetLastError(g_pWow64->dwError);
        return FALSE;
    }
    ++g_pWow64->nOff;
    g_pWow64->bOff = true;
    *ppOldValue = &g_nRedirectionToken;
    return TRUE;
}

BOOL WINAPI FakeRevertRedirection(PVOID pOldValue)
{
    if (!g_pWow64->bOff)
        g_pWow64->misuses.push_back("redirection turned on while it was on");
    if (pOldValue != &g_nRedirectionToken)
        g_pWow64->misuses.push_back("redirection turned on with another value than it gave");
    ++g_pWow64->nOn;
    g_pWow64->bOff = false;
    if (g_pWow64->kind == Wow64Seam::WOW64_REVERT_FAILS)
    {
        ::SetLastError(g_pWow64->dwError);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI Wow64FindFirstFileA(LPCSTR pszPath, LPWIN32_FIND_DATAA pData)
{
    const std::string path = pszPath != nullptr ? pszPath : "";
    std::string lower = path;
    for (char& ch : lower)
        ch = static_cast<char>(::tolower(static_cast<unsigned char>(ch)));
    const bool bDriverFile = lower.find("\\drivers\\") != std::string::npos;
    if (bDriverFile)
    {
        ++g_pWow64->nDriverSearches;
        if (g_pWow64->kind == Wow64Seam::WOW64 && !g_pWow64->bOff)
            g_pWow64->misuses.push_back("the driver file " + path + " searched with redirection on");
    }
    else
    {
        NoteIfOff("searched " + path);
    }
    return g_pWow64->inner.FindFirstFileA(pszPath, pData);
}

LONG WINAPI Wow64RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    NoteIfOff(std::string("opened ") + (pszSubKey != nullptr ? pszSubKey : ""));
    return g_pWow64->inner.RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
}

LONG WINAPI Wow64RegQueryValueExA(HKEY hKey, LPCSTR pszName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                  LPDWORD pcbData)
{
    NoteIfOff(std::string("read ") + (pszName != nullptr ? pszName : ""));
    return g_pWow64->inner.RegQueryValueExA(hKey, pszName, pReserved, pdwType, pData, pcbData);
}

HMODULE WINAPI Wow64LoadLibraryExA(LPCSTR pszName, HANDLE hFile, DWORD dwFlags)
{
    NoteIfOff(std::string("loaded ") + (pszName != nullptr ? pszName : ""));
    return g_pWow64->inner.LoadLibraryExA(pszName, hFile, dwFlags);
}
} // namespace

Wow64Seam::Wow64Seam(Kind kind, DWORD dwError) : m_saved(g_SystemCalls)
{
    g_pWow64 = new Wow64State;
    g_pWow64->inner = g_SystemCalls;
    g_pWow64->kind = kind;
    g_pWow64->dwError = dwError;
    const bool bSwitches = kind != WOW64_NO_SWITCHES;
    g_SystemCalls.IsWow64Process = kind != NO_ISWOW64PROCESS ? FakeIsWow64Process : nullptr;
    g_SystemCalls.Wow64DisableWow64FsRedirection = bSwitches ? FakeDisableRedirection : nullptr;
    g_SystemCalls.Wow64RevertWow64FsRedirection = bSwitches ? FakeRevertRedirection : nullptr;
    g_SystemCalls.FindFirstFileA = Wow64FindFirstFileA;
    g_SystemCalls.RegOpenKeyExA = Wow64RegOpenKeyExA;
    g_SystemCalls.RegQueryValueExA = Wow64RegQueryValueExA;
    g_SystemCalls.LoadLibraryExA = Wow64LoadLibraryExA;
}

Wow64Seam::~Wow64Seam()
{
    g_SystemCalls = m_saved;
    const Wow64State& state = *g_pWow64;
    for (const std::string& misuse : state.misuses)
        ADD_FAILURE() << misuse;
    EXPECT_FALSE(state.bOff) << "redirection left off";
    EXPECT_EQ(state.nOn, state.nOff) << "redirection turned off and back on";
    const bool bTurnsOff = state.kind == WOW64 || state.kind == WOW64_REVERT_FAILS;
    // Each driver-file search under WOW64 is one switch off, and the only one.
    EXPECT_EQ(state.nOff, bTurnsOff ? state.nDriverSearches : 0) << "redirection turned off";
    if (state.kind == WOW64_NO_SWITCHES || state.kind == WOW64_DISABLE_FAILS || state.kind == ISWOW64PROCESS_FAILS)
    {
        EXPECT_EQ(state.nDriverSearches, 0) << "driver files searched where redirection could not be turned off";
    }
    delete g_pWow64;
    g_pWow64 = nullptr;
}
