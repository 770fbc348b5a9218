#include "simulator/SimDriver.h"

#include <algorithm>
#include <cstring>

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

CSimDriver g_driver;

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
} // namespace

CSimDriver& TheDriver()
{
    return g_driver;
}

bool CSimDriver::EnsureLoaded()
{
    CSingleLock lock(m_csLoad);
    if (m_bLoaded)
        return m_error.empty();
    m_bLoaded = true;

    m_trace.SetPath(EnvironmentValue(kTraceVariable));
    const std::string path = EnvironmentValue(kScenarioVariable);
    SCENARIO scenario;
    if (!LoadScenario(path, scenario, m_error))
    {
        m_trace.Line("SIM_Load error=%s", CTrace::Quoted(m_error.data(), m_error.size()).c_str());
        return false;
    }
    m_nCount = scenario.nCount;
    m_countStatus = scenario.countStatus;
    for (size_t i = 0; i < scenario.devices.size(); ++i)
    {
        m_devices.push_back(
            std::make_unique<CSimDevice>(static_cast<unsigned>(i), scenario.devices[i], m_trace, m_timings));
    }
    m_trace.Line("SIM_Load scenario=%s devices=%u count=%lu count_status=%lu",
                 CTrace::Quoted(path.data(), path.size()).c_str(), static_cast<unsigned>(m_devices.size()), m_nCount,
                 m_countStatus);
    return true;
}

FT_STATUS CSimDriver::Unusable(const char* pszCall)
{
    m_trace.Line("%s dev=-1 status=%lu", pszCall, FT_OTHER_ERROR);
    return FT_OTHER_ERROR;
}

template <typename Call>
FT_STATUS CSimDriver::OnDevice(const char* pszCall, FT_HANDLE hDevice, Call call)
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

FT_HANDLE CSimDriver::NewHandle()
{
    LONG nOpen = InterlockedIncrement(&m_nOpens);
    return reinterpret_cast<FT_HANDLE>(kHandleBase + static_cast<UINT_PTR>(nOpen) * kHandleStride);
}

FT_STATUS CSimDriver::ListDevices(PVOID pArg1, PVOID pArg2, DWORD dwFlags)
{
    if (!EnsureLoaded())
        return Unusable("FT_ListDevices");

    if (dwFlags == FT_LIST_NUMBER_ONLY)
    {
        FT_STATUS status = m_countStatus;
        if (status == FT_OK && pArg1 == nullptr)
            status = FT_INVALID_PARAMETER;
        if (status == FT_OK)
            *static_cast<DWORD*>(pArg1) = m_nCount;
        m_trace.Line("FT_ListDevices count=%lu status=%lu", m_nCount, status);
        return status;
    }
    if (dwFlags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) ||
        dwFlags == (FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER))
    {
        // The index travels in the pointer-sized first argument.
        UINT_PTR nIndex = reinterpret_cast<UINT_PTR>(pArg1);
        if (nIndex < m_devices.size())
            return m_devices[nIndex]->List(static_cast<char*>(pArg2), dwFlags & ~FT_LIST_BY_INDEX);
        m_trace.Line("FT_ListDevices index=%u status=%lu", static_cast<unsigned>(nIndex), FT_DEVICE_NOT_FOUND);
        return FT_DEVICE_NOT_FOUND;
    }
    m_trace.Line("FT_ListDevices arg1=%p arg2=%p flags=0x%08lX status=%lu", pArg1, pArg2, dwFlags, FT_NOT_SUPPORTED);
    return FT_NOT_SUPPORTED;
}

FT_STATUS CSimDriver::OpenEx(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle)
{
    if (!EnsureLoaded())
        return Unusable("FT_OpenEx");

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
        // Several devices may share a description, or even a serial number:
        // the first one not yet open is taken, as the real driver does.
        for (auto& pDevice : m_devices)
        {
            if (!pDevice->Matches(pszName, dwFlags))
                continue;
            bool bBusy = false;
            FT_HANDLE hNew = NewHandle();
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
    m_trace.Line("FT_OpenEx %s=%s flags=%lu dev=%d handle=%p status=%lu",
                 dwFlags == FT_OPEN_BY_SERIAL_NUMBER ? "serial" : "desc", name.c_str(), dwFlags, nDevice, hOpened,
                 status);
    return status;
}

FT_STATUS CSimDriver::Close(FT_HANDLE hDevice)
{
    return OnDevice("FT_Close", hDevice, [&](CSimDevice& device) { return device.Close(hDevice); });
}

FT_STATUS CSimDriver::GetQueueStatus(FT_HANDLE hDevice, DWORD* pdwRxBytes)
{
    return OnDevice("FT_GetQueueStatus", hDevice,
                    [&](CSimDevice& device) { return device.GetQueueStatus(hDevice, pdwRxBytes); });
}

FT_STATUS CSimDriver::Read(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned)
{
    return OnDevice("FT_Read", hDevice,
                    [&](CSimDevice& device) { return device.Read(hDevice, pBuffer, dwToRead, pdwReturned); });
}

FT_STATUS CSimDriver::Write(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten)
{
    return OnDevice("FT_Write", hDevice,
                    [&](CSimDevice& device) { return device.Write(hDevice, pBuffer, dwToWrite, pdwWritten); });
}

FT_STATUS CSimDriver::EeRead(FT_HANDLE hDevice, FT_PROGRAM_DATA* pData)
{
    return OnDevice("FT_EE_Read", hDevice, [&](CSimDevice& device) { return device.EeRead(hDevice, pData); });
}

FT_STATUS CSimDriver::SetEventNotification(FT_HANDLE hDevice, DWORD dwEventMask, PVOID pParam)
{
    return OnDevice("FT_SetEventNotification", hDevice,
                    [&](CSimDevice& device) { return device.SetEventNotification(hDevice, dwEventMask, pParam); });
}

FT_STATUS CSimDriver::GetLastTimings(LONGLONG* pllWriteReturned, LONGLONG* pllFirstSignal)
{
    if (pllWriteReturned == nullptr || pllFirstSignal == nullptr)
        return FT_INVALID_PARAMETER;
    m_timings.Get(*pllWriteReturned, *pllFirstSignal);
    return FT_OK;
}

DWORD CSimDriver::GetScenarioError(char* pszBuffer, DWORD dwSize)
{
    EnsureLoaded();
    if (pszBuffer != nullptr && dwSize > 0)
    {
        size_t nCopy = std::min<size_t>(m_error.size(), dwSize - 1);
        memcpy(pszBuffer, m_error.data(), nCopy);
        pszBuffer[nCopy] = '\0';
    }
    return static_cast<DWORD>(m_error.size());
}
