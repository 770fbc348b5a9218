// The library's exported functions, the eight driver entry points the product
// binds by name, and the simulated driver behind them: it reads its scenario
// on the first call after the library is loaded, owns the simulated devices
// and hands each call on a handle to the device open as that handle. Which
// entry points a build exports is decided by its .def file.
#include "simulator/RuntimeRelease.h"
#include "simulator/Scenario.h"
#include "simulator/SimDevice.h"
#include "simulator/Trace.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace
{
const char kScenarioVariable[] = "USBSIM_SCENARIO";
const char kTraceVariable[] = "USBSIM_TRACE";
const size_t kListedTextReadLimit = 260;

// Handles are numbers, not addresses: a handle from an earlier open stays
// invalid after its device was closed and opened again. In a 64-bit build
// they lie above 4 GB, where a driver's addresses may lie, so that a caller
// that keeps a handle in 32 bits loses it.
#ifdef _WIN64
const UINT_PTR kHandleBase = 0x7FF51D00000;
#else
const UINT_PTR kHandleBase = 0x51D00000;
#endif
const UINT_PTR kHandleStride = 0x10;

// Read through the process environment block, not the C runtime's copy, so
// that SetEnvironmentVariableA between two loads takes effect.
std::string EnvironmentValue(const char* pszName)
{
    DWORD dwSize = GetEnvironmentVariableA(pszName, nullptr, 0);
    if (dwSize == 0)
        return std::string();
    std::string value(dwSize, '\0');
    DWORD dwLength = GetEnvironmentVariableA(pszName, &value[0], dwSize);
    value.resize(dwLength < dwSize ? dwLength : 0);
    return value;
}

class CSimDriver
{
public:
    // False when the scenario file could not be used: every call then fails.
    bool EnsureLoaded()
    {
        CSingleLock lock(m_csLoad);
        if (m_bLoaded)
            return m_bUsable;
        m_bLoaded = true;
        m_trace.SetPath(EnvironmentValue(kTraceVariable));
        const std::string path = EnvironmentValue(kScenarioVariable);
        SCENARIO scenario;
        std::string error;
        if (!LoadScenario(path, scenario, error))
        {
            m_trace.Line("SIM_Load error=%s", CTrace::Quoted(error.data(), error.size()).c_str());
            return false;
        }
        m_bUsable = true;
        m_nCount = scenario.nCount;
        m_countStatus = scenario.countStatus;
        for (size_t i = 0; i < scenario.devices.size(); ++i)
            m_devices.push_back(std::make_unique<CSimDevice>(static_cast<unsigned>(i), scenario.devices[i], m_trace));
        m_trace.Line("SIM_Load scenario=%s devices=%u count=%lu count_status=%lu",
                     CTrace::Quoted(path.data(), path.size()).c_str(), static_cast<unsigned>(m_devices.size()),
                     m_nCount, m_countStatus);
        return true;
    }

    FT_STATUS Unusable(const char* pszCall)
    {
        m_trace.Line("%s dev=-1 status=%lu", pszCall, FT_OTHER_ERROR);
        return FT_OTHER_ERROR;
    }

    template <typename Call>
    FT_STATUS OnDevice(const char* pszCall, FT_HANDLE hDevice, Call call)
    {
        if (!EnsureLoaded())
            return Unusable(pszCall);
        for (auto& pDevice : m_devices)
        {
            if (pDevice->IsOpenAs(hDevice))
                return call(*pDevice);
        }
        m_trace.Line("%s dev=-1 handle=%p status=%lu", pszCall, hDevice, FT_INVALID_HANDLE);
        return FT_INVALID_HANDLE;
    }

    FT_HANDLE NewHandle()
    {
        LONG nOpen = InterlockedIncrement(&m_nOpens);
        return reinterpret_cast<FT_HANDLE>(kHandleBase + static_cast<UINT_PTR>(nOpen) * kHandleStride);
    }

    // Declared before the devices, which refer to it, so that it outlives them.
    CTrace m_trace;
    CCriticalSection m_csLoad;
    bool m_bLoaded = false;
    bool m_bUsable = false;
    DWORD m_nCount = 0;
    FT_STATUS m_countStatus = FT_OK;
    std::vector<std::unique_ptr<CSimDevice>> m_devices; // fixed once loaded
    LONG m_nOpens = 0;
};

CSimDriver g_driver;
} // namespace

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
            g_driver.m_trace.Line("SIM_Unload");
            ReleaseStaticRuntime();
        }
        return TRUE;
    }

    FT_STATUS WINAPI FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD dwFlags)
    {
        if (!g_driver.EnsureLoaded())
            return g_driver.Unusable("FT_ListDevices");
        CTrace& trace = g_driver.m_trace;
        if (dwFlags == FT_LIST_NUMBER_ONLY)
        {
            FT_STATUS status = g_driver.m_countStatus;
            if (status == FT_OK && pArg1 == nullptr)
                status = FT_INVALID_PARAMETER;
            if (status == FT_OK)
                *static_cast<DWORD*>(pArg1) = g_driver.m_nCount;
            trace.Line("FT_ListDevices count=%lu status=%lu", g_driver.m_nCount, status);
            return status;
        }
        if (dwFlags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) ||
            dwFlags == (FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER))
        {
            // The index travels in the pointer-sized first argument.
            UINT_PTR nIndex = reinterpret_cast<UINT_PTR>(pArg1);
            if (nIndex < g_driver.m_devices.size())
                return g_driver.m_devices[nIndex]->List(static_cast<char*>(pArg2), dwFlags & ~FT_LIST_BY_INDEX);
            trace.Line("FT_ListDevices index=%u status=%lu", static_cast<unsigned>(nIndex), FT_DEVICE_NOT_FOUND);
            return FT_DEVICE_NOT_FOUND;
        }
        trace.Line("FT_ListDevices arg1=%p arg2=%p flags=0x%08lX status=%lu", pArg1, pArg2, dwFlags, FT_NOT_SUPPORTED);
        return FT_NOT_SUPPORTED;
    }

    FT_STATUS WINAPI FT_OpenEx(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle)
    {
        if (!g_driver.EnsureLoaded())
            return g_driver.Unusable("FT_OpenEx");
        const char* pszName = static_cast<const char*>(pArg1);
        FT_STATUS status = FT_DEVICE_NOT_FOUND;
        FT_HANDLE hOpened = nullptr;
        int nDevice = -1;
        if (dwFlags != FT_OPEN_BY_DESCRIPTION && dwFlags != FT_OPEN_BY_SERIAL_NUMBER)
        {
            status = FT_NOT_SUPPORTED;
        }
        else if (pszName == nullptr || pHandle == nullptr)
        {
            status = FT_INVALID_PARAMETER;
        }
        else
        {
            // Several devices may share a description, or even a serial
            // number: the first one not yet open is taken, as the real driver
            // does.
            for (auto& pDevice : g_driver.m_devices)
            {
                if (!pDevice->Matches(pszName, dwFlags))
                    continue;
                bool bBusy = false;
                FT_HANDLE hNew = g_driver.NewHandle();
                status = pDevice->TryOpen(hNew, bBusy);
                if (bBusy)
                    continue;
                nDevice = static_cast<int>(pDevice->Index());
                if (status == FT_OK)
                {
                    hOpened = hNew;
                    *pHandle = hOpened;
                }
                break;
            }
        }
        const std::string name =
            pszName != nullptr ? CTrace::Quoted(pszName, strnlen(pszName, kListedTextReadLimit)) : std::string("null");
        g_driver.m_trace.Line("FT_OpenEx %s=%s flags=%lu dev=%d handle=%p status=%lu",
                              dwFlags == FT_OPEN_BY_SERIAL_NUMBER ? "serial" : "desc", name.c_str(), dwFlags, nDevice,
                              hOpened, status);
        return status;
    }

    FT_STATUS WINAPI FT_Close(FT_HANDLE hDevice)
    {
        return g_driver.OnDevice("FT_Close", hDevice, [&](CSimDevice& device) { return device.Close(hDevice); });
    }

    FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE hDevice, DWORD* pdwRxBytes)
    {
        return g_driver.OnDevice("FT_GetQueueStatus", hDevice,
                                 [&](CSimDevice& device) { return device.GetQueueStatus(hDevice, pdwRxBytes); });
    }

    FT_STATUS WINAPI FT_Read(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned)
    {
        return g_driver.OnDevice("FT_Read", hDevice, [&](CSimDevice& device) {
            return device.Read(hDevice, pBuffer, dwToRead, pdwReturned);
        });
    }

    FT_STATUS WINAPI FT_Write(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten)
    {
        return g_driver.OnDevice("FT_Write", hDevice, [&](CSimDevice& device) {
            return device.Write(hDevice, pBuffer, dwToWrite, pdwWritten);
        });
    }

    FT_STATUS WINAPI FT_EE_Read(FT_HANDLE hDevice, FT_PROGRAM_DATA* pData)
    {
        return g_driver.OnDevice("FT_EE_Read", hDevice,
                                 [&](CSimDevice& device) { return device.EeRead(hDevice, pData); });
    }

    FT_STATUS WINAPI FT_SetEventNotification(FT_HANDLE hDevice, DWORD dwEventMask, PVOID pParam)
    {
        return g_driver.OnDevice("FT_SetEventNotification", hDevice, [&](CSimDevice& device) {
            return device.SetEventNotification(hDevice, dwEventMask, pParam);
        });
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
