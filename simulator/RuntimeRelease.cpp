#include "simulator/RuntimeRelease.h"

#include <windows.h>

// libstdc++'s hook that frees its emergency exception pool (about 4 KB per
// load otherwise); it is not declared in any of its headers.
namespace __gnu_cxx
{
void __freeres() noexcept;
}

// The static libstdc++ brings winpthreads along (through the exception
// unwinder). Each time the library is loaded, winpthreads takes a TLS index
// and it never frees one: after about a thousand loads in one process TlsAlloc
// fails and winpthreads aborts the process. Its calls reach TlsAlloc through
// the import slot "__imp__TlsAlloc@0"; defining that slot here, ahead of the
// kernel32 import library, routes them through TrackedTlsAlloc, which notes
// each index so that it can be freed on unload.
namespace
{
const LONG kMaxTracked = 8;
DWORD g_adwIndexes[kMaxTracked];
LONG g_nIndexes = 0;

DWORD WINAPI TrackedTlsAlloc()
{
    typedef DWORD(WINAPI * PFN_TlsAlloc)();
    // Looked up by name: calling TlsAlloc directly would come back here.
    PFN_TlsAlloc pfnTlsAlloc = reinterpret_cast<PFN_TlsAlloc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "TlsAlloc")));
    DWORD dwIndex = pfnTlsAlloc != nullptr ? pfnTlsAlloc() : TLS_OUT_OF_INDEXES;
    if (dwIndex != TLS_OUT_OF_INDEXES)
    {
        LONG nSlot = InterlockedIncrement(&g_nIndexes) - 1;
        if (nSlot < kMaxTracked)
            g_adwIndexes[nSlot] = dwIndex;
    }
    return dwIndex;
}
}  // namespace

// Constant-initialised, so it is in place before any start-up code of the
// runtime in this library runs.
extern "C" DWORD(WINAPI* g_pfnImportedTlsAlloc)() __asm__("__imp__TlsAlloc@0");
DWORD(WINAPI* g_pfnImportedTlsAlloc)() = TrackedTlsAlloc;

void ReleaseStaticRuntime()
{
    LONG nIndexes = InterlockedExchange(&g_nIndexes, 0);
    for (LONG i = 0; i < nIndexes && i < kMaxTracked; ++i)
        TlsFree(g_adwIndexes[i]);
    __gnu_cxx::__freeres();
}
