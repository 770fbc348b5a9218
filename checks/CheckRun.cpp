#include "checks/CheckRun.h"

#include "checks/CommonRegistry.h"
#include "checks/DeviceRegistry.h"
#include "checks/OsVersion.h"
#include "checks/SupportedDevices.h"
#include "device/Communication.h"
#include "device/DriverLibrary.h"
#include "framework/SystemCalls.h"

namespace
{
// The run's own view of what it writes: every line goes on to the caller's
// writer, and a Warning or Error result (or an error entry) is noted.
class CResultKinds final : public CReportWriter
{
public:
    explicit CResultKinds(CReportWriter& report) : m_report(report) {}

    void WriteLog(LPCSTR pszText, UINT nKind) override
    {
        const BYTE nLogKind = LOBYTE(nKind);
        if (nLogKind == LOG_RESULT_WARNING || nLogKind == LOG_RESULT_ERROR || nLogKind == LOG_ERROR)
            m_bSomethingToLookAt = TRUE;
        m_report.WriteLog(pszText, nKind);
    }
    BOOL SomethingToLookAt() const { return m_bSomethingToLookAt; }

private:
    CReportWriter& m_report;
    BOOL m_bSomethingToLookAt = FALSE;
};

void WriteRunEnd(CReportWriter& report, LPCSTR pszSummary)
{
    report.WriteLog(pszSummary, LOG_HEADING);
    report.WriteLog(REPORT_RULE, LOG_TEXT);
}
} // namespace

CCheckRun::CCheckRun()
    : // Manual reset: a cancel ends every wait after it, not only the one in progress.
      m_hCancelEvent(g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_hRxEvent(g_SystemCalls.CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
}

CCheckRun::~CCheckRun()
{
    if (m_hDriverLib != nullptr)
        ::FreeLibrary(m_hDriverLib);
    if (m_hRxEvent != nullptr)
        ::CloseHandle(m_hRxEvent);
    if (m_hCancelEvent != nullptr)
        ::CloseHandle(m_hCancelEvent);
}

void CCheckRun::Cancel()
{
    // The flag first: a wait that the event ends looks at it.
    m_bCancel.store(TRUE);
    if (m_hCancelEvent != nullptr)
        g_SystemCalls.SetEvent(m_hCancelEvent);
}

RunOutcome CCheckRun::Run(CReportWriter& report)
{
    CResultKinds written(report);
    BOOL bFailed = FALSE;
    try
    {
        if (!m_bCancel.load())
        {
            written.WriteLog(GetOsVersionText(), LOG_TEXT);
            written.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
        }
        bFailed = !CheckRegistry(written);
        for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries && !m_bCancel.load(); ++nIndex)
        {
            const LPCSTR pszDriverLibrary = g_DeviceTable.pEntries[nIndex].pszDriverLibrary;
            if (pszDriverLibrary != nullptr && !CheckDriver(written, pszDriverLibrary))
                bFailed = TRUE;
        }
    }
    catch (const DriverCallGivenUp&)
    {
        // The window's thread has written the run's end; the writer may be
        // gone. No call is out any more: the library can go.
        if (m_hDriverLib != nullptr)
            ::FreeLibrary(m_hDriverLib);
        m_hDriverLib = nullptr;
        return RUN_GIVEN_UP;
    }

    const BOOL bCancelled = m_bCancel.load();
    WriteRunEnd(written, bCancelled || bFailed ? SUMMARY_FINISHED : SUMMARY_SUCCESS);
    if (bCancelled)
        return RUN_CANCELLED;
    return bFailed || written.SomethingToLookAt() ? RUN_FINISHED : RUN_SUCCEEDED;
}

// The common check of each entry with IDs, and the device-specific one where
// the common one passed.
BOOL CCheckRun::CheckRegistry(CReportWriter& report)
{
    BOOL bPassed = TRUE;
    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries && !m_bCancel.load(); ++nIndex)
    {
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.nVendorId < 0 || device.nProductId < 0)
            continue;
        const DWORD dwCommon = CheckCommonRegistry(report, nIndex);
        if (m_bCancel.load())
            break;
        if (dwCommon != 0 || CheckDeviceRegistry(report, nIndex) != 0)
            bPassed = FALSE;
    }
    return bPassed;
}

// The library's binding, the device search and the communication test, and
// the library's release, which comes whatever went before.
BOOL CCheckRun::CheckDriver(CReportWriter& report, LPCSTR pszDriverLibrary)
{
    report.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
    DWORD dwResult = LoadDriverLibrary(report, pszDriverLibrary, m_hDriverLib, m_entryPoints);
    if (!m_bCancel.load() && dwResult == ERROR_SUCCESS)
    {
        // The run's thread makes it between driver calls: no call of its own is out.
        CDeviceCommunication devices(report, WATCHED_ENTRY_POINTS(m_entryPoints, m_pDriverCallWatch), m_hRxEvent,
                                     m_hCancelEvent, m_bCancel, m_nDevices);
        dwResult = static_cast<DWORD>(devices.SearchDevices());
        if (!m_bCancel.load() && dwResult == SEARCH_DEVICES_FOUND)
            dwResult = devices.CheckCommunication();
    }
    return FreeDriverLibrary(report, m_hDriverLib) == DRIVER_LIBRARY_FREED && dwResult == 0;
}

BOOL CCheckRun::GiveUpStuckCall(CReportWriter& report)
{
    const LPCSTR pszCall = m_pDriverCallWatch->GiveUpAfter(kDriverCallBoundMs);
    if (pszCall == nullptr)
        return FALSE;
    CString text;
    text.Format("The driver did not return from %s within %lu s.", pszCall, kDriverCallBoundMs / 1000);
    report.WriteDriverErrorResult(text);
    WriteRunEnd(report, SUMMARY_FINISHED);
    return TRUE;
}
