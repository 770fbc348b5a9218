// Result lines, the system's text for an error code, and the end of a run.
#include "report/ReportWriter.h"

#include "framework/String.h"
#include "framework/SystemCalls.h"

namespace
{
const char kOk[] = "OK";
const char kWarning[] = "Warning";
const char kError[] = "Error";
} // namespace

void CReportWriter::WriteResult(ResultRecord record)
{
    WriteLog(record.pszText, record.nKind);

    if (record.dwCode == RESULT_END_OF_RUN)
    {
        WriteLog(REPORT_RULE, LOG_TEXT);
        // The last use of the writer: once the run is handed over, it may be gone.
        const BOOL bNothingToLookAt = m_nProblemResults == 0;
        m_nProblemResults = 0;
        HandOverRun(bNothingToLookAt);
        return;
    }

    // The line of a failure (Error, or Warning) and a system code's error
    // entry each make the run one with something to look at.
    const BYTE nKind = static_cast<BYTE>(record.nKind);
    if (record.dwCode != 0 || nKind == LOG_RESULT_WARNING || nKind == LOG_RESULT_ERROR)
        ++m_nProblemResults;
    if (record.dwCode == 0)
        return;

    CString entry;
    if (FormatErrorEntry(record.dwCode, entry))
        WriteLog(entry, LOG_ERROR);
}

BOOL FormatErrorEntry(DWORD dwCode, CString& entry)
{
    entry.Format("0x%08X (%u)", static_cast<unsigned>(dwCode), static_cast<unsigned>(dwCode));
    // Inserts such as %1 are left as they stand: without the flag a text that
    // holds one (193, a driver library of the wrong bitness) has no text at all.
    LPSTR pszSystemText = nullptr;
    const DWORD dwLength = g_SystemCalls.FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr);
    if (dwLength == 0 || pszSystemText == nullptr)
        return FALSE;
    entry += "\n\t";
    entry += pszSystemText;
    entry.TrimRight("\r\n");
    ::LocalFree(pszSystemText);
    return TRUE;
}

void CReportWriter::WriteOkResult()
{
    WriteLog(kOk, LOG_RESULT_OK);
}

void CReportWriter::WriteWarningResult()
{
    ++m_nProblemResults;
    WriteLog(kWarning, LOG_RESULT_WARNING);
}

DWORD CReportWriter::WriteErrorResult(DWORD dwError)
{
    WriteResult({dwError, kError, LOG_RESULT_ERROR});
    return dwError;
}

void CReportWriter::WriteDriverErrorResult(LPCSTR pszStatusText)
{
    ++m_nProblemResults;
    WriteLog(kError, LOG_RESULT_ERROR);
    WriteLog(pszStatusText, LOG_ERROR);
}
