#include "simulator/RuntimeRelease.h"

#include <windows.h>

// libstdc++'s hook that frees its emergency exception pool (about 4 KB per
// load otherwise); it is not declared in any of its headers.
namespace __gnu_cxx
{
void __freeres() noexcept;
}

// The static C++ runtime keeps its emulated thread-local data under a TLS
// index of its own. Each time the library is loaded it takes one and it never
// frees it: after about a thousand loads in one process TlsAlloc fails and the
// runtime aborts the process. Its calls reach TlsAlloc through the import slot
// "__imp__TlsAlloc@0" ("__imp_TlsAlloc" in a 64-bit build, whose names carry
// neither the underscore nor the argument size); defining that slot here,
// ahead of the kernel32 import library, routes them through TrackedTlsAlloc,
// which notes each index so that it can be freed on unload. A slot named as
// the other build names it would be defined but never used.
#ifdef _WIN64
#define IMPORT_SLOT(name, argumentBytes) "__imp_" #name
#else
#define IMPORT_SLOT(name, argumentBytes) "__imp__" #name "@" #argumentBytes
#endif
namespace
{
const LONG kMaxTracked = 8;
DWORD g_dwTlsIndexes[kMaxTracked];
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
            g_dwTlsIndexes[nSlot] = dwIndex;
    }
    return dwIndex;
}
} // namespace

// The lock that guards that data is a semaphore (the win32 thread model's
// mutex), created on first use and never closed: one handle left behind on
// every load. Every handle created in this library through these import slots
// is noted until it is closed; what is still open at unload is closed then.
namespace
{
const LONG kMaxOpenHandles = 256;
HANDLE g_hOpenHandles[kMaxOpenHandles];
LONG g_nHandleLock = 0;

// Looked up by name, since the import slot would come back here; kept in a
// plain pointer, since a guarded static would itself take a lock.
template <typename PFN>
PFN KernelFunction(PFN& pfnCached, const char* pszName)
{
    if (pfnCached == nullptr)
        pfnCached =
            reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), pszName)));
    return pfnCached;
}
decltype(&CloseHandle) g_pfnCloseHandle = nullptr;
decltype(&CreateSemaphoreW) g_pfnCreateSemaphoreW = nullptr;

class CHandleLock
{
public:
    CHandleLock()
    {
        while (InterlockedCompareExchange(&g_nHandleLock, 1, 0) != 0)
            Sleep(0);
    }
    ~CHandleLock() { InterlockedExchange(&g_nHandleLock, 0); }
};

void NoteOpened(HANDLE hHandle)
{
    if (hHandle == nullptr || hHandle == INVALID_HANDLE_VALUE)
        return;
    CHandleLock lock;
    for (HANDLE& hSlot : g_hOpenHandles)
    {
        if (hSlot == nullptr)
        {
            hSlot = hHandle;
            return;
        }
    }
}

void NoteClosed(HANDLE hHandle)
{
    CHandleLock lock;
    for (HANDLE& hSlot : g_hOpenHandles)
    {
        if (hSlot == hHandle)
            hSlot = nullptr;
    }
}

HANDLE WINAPI TrackedCreateSemaphoreW(LPSECURITY_ATTRIBUTES pAttributes, LONG nInitialCount, LONG nMaximumCount,
                                      LPCWSTR pszName)
{
    HANDLE hSemaphore =
        KernelFunction(g_pfnCreateSemaphoreW, "CreateSemaphoreW")(pAttributes, nInitialCount, nMaximumCount, pszName);
    NoteOpened(hSemaphore);
    return hSemaphore;
}

BOOL WINAPI TrackedCloseHandle(HANDLE hObject)
{
    NoteClosed(hObject);
    return KernelFunction(g_pfnCloseHandle, "CloseHandle")(hObject);
}
} // namespace

// Constant-initialised, so they are in place before any start-up code of the
// runtime in this library runs.
extern "C" DWORD(WINAPI* g_pfnImportedTlsAlloc)() __asm__(IMPORT_SLOT(TlsAlloc, 0));
DWORD(WINAPI* g_pfnImportedTlsAlloc)() = TrackedTlsAlloc;
extern "C" decltype(&CloseHandle) g_pfnImportedCloseHandle __asm__(IMPORT_SLOT(CloseHandle, 4));
decltype(&CloseHandle) g_pfnImportedCloseHandle = TrackedCloseHandle;
extern "C" decltype(&CreateSemaphoreW) g_pfnImportedCreateSemaphoreW __asm__(IMPORT_SLOT(CreateSemaphoreW, 16));
decltype(&CreateSemaphoreW) g_pfnImportedCreateSemaphoreW = TrackedCreateSemaphoreW;

void ReleaseStaticRuntime()
{
    LONG nIndexes = InterlockedExchange(&g_nIndexes, 0);
    for (LONG i = 0; i < nIndexes && i < kMaxTracked; ++i)
        TlsFree(g_dwTlsIndexes[i]);
    __gnu_cxx::__freeres();

    const auto pfnClose = KernelFunction(g_pfnCloseHandle, "CloseHandle");
    CHandleLock lock;
    for (HANDLE& hSlot : g_hOpenHandles)
    {
        if (hSlot != nullptr)
        {
            pfnClose(hSlot);
            hSlot = nullptr;
        }
    }
}
