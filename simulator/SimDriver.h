// The simulated driver as a whole: it reads its scenario on the first call
// after the library is loaded, owns the simulated devices and routes each
// call to the device that a handle names.
#pragma once

#include "simulator/CriticalSection.h"
#include "simulator/ResponseTimings.h"
#include "simulator/Scenario.h"
#include "simulator/SimDevice.h"
#include "simulator/Trace.h"

#include <memory>
#include <string>
#include <vector>

class CSimDriver
{
public:
    CSimDriver() = default;
    CSimDriver(const CSimDriver&) = delete;
    CSimDriver& operator=(const CSimDriver&) = delete;

    FT_STATUS ListDevices(PVOID pArg1, PVOID pArg2, DWORD dwFlags);
    FT_STATUS OpenEx(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle);
    FT_STATUS Close(FT_HANDLE hDevice);
    FT_STATUS GetQueueStatus(FT_HANDLE hDevice, DWORD* pdwRxBytes);
    FT_STATUS Read(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned);
    FT_STATUS Write(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten);
    FT_STATUS EeRead(FT_HANDLE hDevice, FT_PROGRAM_DATA* pData);
    FT_STATUS SetEventNotification(FT_HANDLE hDevice, DWORD dwEventMask, PVOID pParam);

    FT_STATUS GetLastTimings(LONGLONG* pllWriteReturned, LONGLONG* pllFirstSignal);
    DWORD GetScenarioError(char* pszBuffer, DWORD dwSize);
    // FreeLibrary is unloading the library: the trace's last line of this load.
    void TraceUnload() { m_trace.Line("SIM_Unload"); }

private:
    // False when the scenario file could not be used; every call then fails.
    bool EnsureLoaded();
    FT_STATUS Unusable(const char* pszCall);
    template <typename Call>
    FT_STATUS OnDevice(const char* pszCall, FT_HANDLE hDevice, Call call);
    FT_HANDLE NewHandle();

    // Declared before the devices, which refer to them, so they outlive them.
    CTrace m_trace;
    CResponseTimings m_timings;

    CCriticalSection m_csLoad;
    bool m_bLoaded = false;
    std::string m_error;
    DWORD m_nCount = 0;
    FT_STATUS m_countStatus = FT_OK;
    std::vector<std::unique_ptr<CSimDevice>> m_devices; // fixed once loaded
    LONG m_nOpens = 0;
};

// The one driver of this library instance.
CSimDriver& TheDriver();
