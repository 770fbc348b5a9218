#include "checks/CheckRun.h"

#include "checks/CommonRegistry.h"
#include "checks/DeviceRegistry.h"
#include "checks/OsVersion.h"
#include "checks/SupportedDevices.h"
#include "device/Communication.h"
#include "device/DriverLibrary.h"
#include "framework/SystemCalls.h"
#include "report/ReportOrigin.h"

#include <algorithm>

namespace
{
void WriteRunEnd(CReportWriter& report, LPCSTR pszSummary)
{
    report.WriteLog(pszSummary, LOG_HEADING);
    report.WriteLog(REPORT_RULE, LOG_TEXT);
    report.WriteLog(FormatReportOrigin(CurrentReportOrigin()), LOG_TEXT);
}
} // namespace

// What the run's results come to: the heaviest result a check gave. Any
// Warning or Error is something to look at, and the run ends "Check
// finished.": "Check completed successfully!" below a missing file's Warning,
// scrolled out of sight, would tell the user that a failure was a success.
struct CCheckRun::Findings
{
    void Add(const CheckResult& result) { worst = std::max(worst, result.kind); }
    BOOL Clean() const { return worst == RESULT_OK; }

    ResultKind worst = RESULT_OK;
};

CCheckRun::CCheckRun()
    : // Manual reset: a cancel ends every wait after it, not only the one in progress.
      m_hCancelEvent(g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CCheckRun::~CCheckRun()
{
    if (m_hDriverLib != nullptr)
        ::FreeLibrary(m_hDriverLib);
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
    Findings findings;
    try
    {
        if (!m_bCancel.load())
        {
            report.WriteLog(GetOsVersionText(), LOG_TEXT);
            report.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
        }
        CheckRegistry(report, findings);
        for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries && !m_bCancel.load(); ++nIndex)
        {
            const LPCSTR pszDriverLibrary = g_DeviceTable.pEntries[nIndex].pszDriverLibrary;
            if (pszDriverLibrary != nullptr)
                CheckDriver(report, pszDriverLibrary, findings);
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
    WriteRunEnd(report, bCancelled || !findings.Clean() ? SUMMARY_FINISHED : SUMMARY_SUCCESS);
    if (bCancelled)
        return RUN_CANCELLED;
    return findings.Clean() ? RUN_SUCCEEDED : RUN_FINISHED;
}

// The common check of each entry with IDs, and the device-specific one where
// the common one found the device key: where its result carries no code.
void CCheckRun::CheckRegistry(CReportWriter& report, Findings& findings)
{
    for (UINT nIndex = 0; nIndex < g_DeviceTable.nEntries && !m_bCancel.load(); ++nIndex)
    {
        const DEVICE_INFO& device = g_DeviceTable.pEntries[nIndex];
        if (device.nVendorId < 0 || device.nProductId < 0)
            continue;
        const CheckResult common = CheckCommonRegistry(report, device);
        findings.Add(common);
        if (common.dwCode != ERROR_SUCCESS || m_bCancel.load())
            continue;
        const CheckResult specific = CheckDeviceRegistry(report, device);
        findings.Add(specific);
    }
}

// The library's binding, the device search and the communication test, and
// the library's release, which comes whatever went before.
void CCheckRun::CheckDriver(CReportWriter& report, LPCSTR pszDriverLibrary, Findings& findings)
{
    report.WriteLog(REPORT_SEPARATOR, LOG_TEXT);
    DRIVER_ENTRY_POINTS entryPoints = {};
    CheckResult result = LoadDriverLibrary(report, pszDriverLibrary, m_hDriverLib, entryPoints);
    if (!m_bCancel.load() && result.kind == RESULT_OK)
    {
        // The run's thread makes it between driver calls: no call of its own is out.
        CDeviceCommunication devices(report, WATCHED_ENTRY_POINTS(entryPoints, m_pDriverCallWatch), m_hCancelEvent,
                                     m_bCancel);
        result = devices.SearchDevices();
        if (!m_bCancel.load() && result.kind == RESULT_OK)
            result = devices.CheckCommunication();
    }
    findings.Add(result);
    const CheckResult freed = FreeDriverLibrary(report, m_hDriverLib);
    findings.Add(freed);
}

BOOL CCheckRun::GiveUpStuckCall(CReportWriter& report)
{
    const LPCSTR pszCall = m_pDriverCallWatch->GiveUpAfter(kDriverCallBoundMs);
    if (pszCall == nullptr)
        return FALSE;
    CString text;
    text.Format("The driver did not return from %s within %lu s.", pszCall, kDriverCallBoundMs / 1000);
    report.WriteResult(CheckResult::DriverError(text));
    WriteRunEnd(report, SUMMARY_FINISHED);
    return TRUE;
}
