#include "support/HandleCount.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <winternl.h>
#include <vector>

namespace
{
const LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

typedef LONG(WINAPI* PFN_NtQuerySystemInformation)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);

// A field of the process's entry in the process list, or 0.
ULONG ProcessListField(DWORD dwProcessId, ULONG SYSTEM_PROCESS_INFORMATION::*pField)
{
    const auto pfnQuery = reinterpret_cast<PFN_NtQuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (pfnQuery == nullptr)
        return 0;
    std::vector<BYTE> buffer(1 << 16);
    LONG status = kStatusInfoLengthMismatch;
    for (int nTry = 0; nTry < 8 && status == kStatusInfoLengthMismatch; ++nTry)
    {
        ULONG cbNeeded = 0;
        status = pfnQuery(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &cbNeeded);
        if (status == kStatusInfoLengthMismatch)
            buffer.resize(buffer.size() * 2 > cbNeeded ? buffer.size() * 2 : cbNeeded + 4096);
    }
    if (status != 0)
        return 0;
    for (size_t nAt = 0;;)
    {
        const auto* pInfo = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[nAt]);
        if (reinterpret_cast<ULONG_PTR>(pInfo->UniqueProcessId) == dwProcessId)
            return pInfo->*pField;
        if (pInfo->NextEntryOffset == 0)
            return 0;
        nAt += pInfo->NextEntryOffset;
    }
}

// The number of entries of the process's handle table, or 0. Wine gives it as
// the handle count of the process list (32, 64, 128, ...); the handle values
// of the entries are 4, 8, ... up to four times it.
ULONG HandleTableSize(DWORD dwProcessId)
{
    return ProcessListField(dwProcessId, &SYSTEM_PROCESS_INFORMATION::HandleCount);
}

bool IsOpenHandle(ULONG_PTR nValue)
{
    DWORD dwFlags = 0;
    return ::GetHandleInformation(reinterpret_cast<HANDLE>(nValue), &dwFlags) != FALSE;
}

// The number of open handles of this process, or -1 when they cannot be read.
long CountOwnHandles()
{
    const DWORD dwProcessId = ::GetCurrentProcessId();
    long nCount = -1;
    // A table that grew while it was walked, its first new entry taken, is
    // walked again.
    for (int nTry = 0; nTry < 4 && nCount == -1; ++nTry)
    {
        const ULONG nEntries = HandleTableSize(dwProcessId);
        if (nEntries == 0)
            break;
        long nOpen = 0;
        for (ULONG nEntry = 1; nEntry <= nEntries; ++nEntry)
        {
            if (IsOpenHandle(nEntry * 4))
                ++nOpen;
        }
        if (!IsOpenHandle((nEntries + 1) * 4))
            nCount = nOpen;
    }
    return nCount;
}
} // namespace

long CountProcessThreads(DWORD dwProcessId)
{
    const ULONG nThreads = ProcessListField(dwProcessId, &SYSTEM_PROCESS_INFORMATION::NumberOfThreads);
    return nThreads != 0 ? static_cast<long>(nThreads) : -1;
}

SIZE_T ProcessPrivateBytes(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(hProcess, &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}

long HandlesLeftBy(const std::function<void()>& round, int nRounds, const WaitFn& wait)
{
    const long nBefore = CountOwnHandles();
    EXPECT_GT(nBefore, 0) << "the handles of the process could not be counted";
    for (int nRound = 0; nRound < nRounds; ++nRound)
        round();
    const auto settled = [&] { return CountOwnHandles() <= nBefore; };
    if (wait)
        wait(settled, 10000);
    else
        PollUntil(::GetTickCount() + 10000, settled);
    return CountOwnHandles() - nBefore;
}
