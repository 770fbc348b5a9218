// The library's exported functions: the eight driver entry points the product
// binds by name, and two of our own for tests and benchmarks. Which of them a
// build exports is decided by its .def file.
#include "simulator/RuntimeRelease.h"
#include "simulator/SimDriver.h"
#include "simulator/TestExports.h"

#include <type_traits>

extern "C"
{

    // The entry point only gives back what the static runtime took; the scenario
    // is read on the first call, not here under the loader lock.
    BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID pReserved)
    {
        // pReserved is null for FreeLibrary and set at process exit, when
        // nothing needs giving back.
        if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        {
            TheDriver().TraceUnload();
            ReleaseStaticRuntime();
        }
        return TRUE;
    }

    FT_STATUS WINAPI FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD dwFlags)
    {
        return TheDriver().ListDevices(pArg1, pArg2, dwFlags);
    }

    FT_STATUS WINAPI FT_OpenEx(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle)
    {
        return TheDriver().OpenEx(pArg1, dwFlags, pHandle);
    }

    FT_STATUS WINAPI FT_Close(FT_HANDLE hDevice)
    {
        return TheDriver().Close(hDevice);
    }

    FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE hDevice, DWORD* pdwRxBytes)
    {
        return TheDriver().GetQueueStatus(hDevice, pdwRxBytes);
    }

    FT_STATUS WINAPI FT_Read(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned)
    {
        return TheDriver().Read(hDevice, pBuffer, dwToRead, pdwReturned);
    }

    FT_STATUS WINAPI FT_Write(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten)
    {
        return TheDriver().Write(hDevice, pBuffer, dwToWrite, pdwWritten);
    }

    FT_STATUS WINAPI FT_EE_Read(FT_HANDLE hDevice, FT_PROGRAM_DATA* pData)
    {
        return TheDriver().EeRead(hDevice, pData);
    }

    FT_STATUS WINAPI FT_SetEventNotification(FT_HANDLE hDevice, DWORD dwEventMask, PVOID pParam)
    {
        return TheDriver().SetEventNotification(hDevice, dwEventMask, pParam);
    }

    FT_STATUS WINAPI SIM_GetLastTimings(LONGLONG* pllWriteReturned, LONGLONG* pllFirstSignal)
    {
        return TheDriver().GetLastTimings(pllWriteReturned, pllFirstSignal);
    }

    DWORD WINAPI SIM_GetScenarioError(char* pszBuffer, DWORD dwSize)
    {
        return TheDriver().GetScenarioError(pszBuffer, dwSize);
    }

} // extern "C"

// The exports must keep the exact types the product binds them with.
static_assert(std::is_same_v<decltype(&FT_ListDevices), PFN_FT_ListDevices>);
static_assert(std::is_same_v<decltype(&FT_OpenEx), PFN_FT_OpenEx>);
static_assert(std::is_same_v<decltype(&FT_Close), PFN_FT_Close>);
static_assert(std::is_same_v<decltype(&FT_GetQueueStatus), PFN_FT_GetQueueStatus>);
static_assert(std::is_same_v<decltype(&FT_Read), PFN_FT_Read>);
static_assert(std::is_same_v<decltype(&FT_Write), PFN_FT_Write>);
static_assert(std::is_same_v<decltype(&FT_EE_Read), PFN_FT_EE_Read>);
static_assert(std::is_same_v<decltype(&FT_SetEventNotification), PFN_FT_SetEventNotification>);
static_assert(std::is_same_v<decltype(&SIM_GetLastTimings), PFN_SIM_GetLastTimings>);
static_assert(std::is_same_v<decltype(&SIM_GetScenarioError), PFN_SIM_GetScenarioError>);
