#include "support/HandleCount.h"

#include <psapi.h>
#include <vector>

namespace
{
const ULONG kSystemHandleInformation = 16;
const LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct SystemHandleEntry
{
    ULONG OwnerPid;
    BYTE ObjectType;
    BYTE HandleFlags;
    USHORT HandleValue;
    PVOID ObjectPointer;
    ULONG AccessMask;
};

struct SystemHandleInformation
{
    ULONG Count;
    SystemHandleEntry Handles[1];
};

typedef LONG(WINAPI* PFN_NtQuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
} // namespace

long CountProcessHandles(DWORD dwProcessId)
{
    const HMODULE hNtdll = ::GetModuleHandleA("ntdll.dll");
    const auto pfnQuery = reinterpret_cast<PFN_NtQuerySystemInformation>(
        reinterpret_cast<void*>(::GetProcAddress(hNtdll, "NtQuerySystemInformation")));
    if (pfnQuery == nullptr)
        return -1;
    std::vector<BYTE> buffer(1 << 16);
    for (int nTry = 0; nTry < 16; ++nTry)
    {
        ULONG cbNeeded = 0;
        const LONG status =
            pfnQuery(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &cbNeeded);
        if (status == kStatusInfoLengthMismatch)
        {
            buffer.resize(buffer.size() * 2 > cbNeeded ? buffer.size() * 2 : cbNeeded + 4096);
            continue;
        }
        if (status != 0)
            return -1;
        const auto* pInfo = reinterpret_cast<const SystemHandleInformation*>(buffer.data());
        long nCount = 0;
        for (ULONG i = 0; i < pInfo->Count; ++i)
        {
            if (pInfo->Handles[i].OwnerPid == dwProcessId)
                ++nCount;
        }
        return nCount;
    }
    return -1;
}

SIZE_T ProcessPrivateBytes(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(hProcess, &counters, sizeof(counters)))
        return 0;
    return counters.PagefileUsage;
}
