// Result lines, the system's text for an error code, and the end of a run.
#include "report/ReportWriter.h"

#include "framework/String.h"
#include "framework/SystemCalls.h"

#include <cstring>

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
        const BOOL bSucceeded = record.pszText != nullptr && std::strcmp(record.pszText, SUMMARY_SUCCESS) == 0;
        // The last use of the writer: once the run is handed over, it may be gone.
        HandOverRun(bSucceeded);
        return;
    }

    if (record.dwCode == 0)
        return;

    // Inserts such as %1 are left as they stand: without the flag a text that
    // holds one (193, a driver library of the wrong bitness) has no text at all.
    LPSTR pszSystemText = nullptr;
    const DWORD dwLength = g_SystemCalls.FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        record.dwCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr);
    if (dwLength == 0 || pszSystemText == nullptr)
        return;

    CString entry;
    entry.Format("0x%08X (%u)\n\t", static_cast<unsigned>(record.dwCode), static_cast<unsigned>(record.dwCode));
    entry += pszSystemText;
    entry.TrimRight("\r\n");
    ::LocalFree(pszSystemText);
    WriteLog(entry, LOG_ERROR);
}

void CReportWriter::WriteOkResult()
{
    WriteLog(kOk, LOG_RESULT_OK);
}

void CReportWriter::WriteWarningResult()
{
    WriteLog(kWarning, LOG_RESULT_WARNING);
}

DWORD CReportWriter::WriteErrorResult(DWORD dwError)
{
    WriteResult({dwError, kError, LOG_RESULT_ERROR});
    return dwError;
}

void CReportWriter::WriteDriverErrorResult(LPCSTR pszStatusText)
{
    WriteLog(kError, LOG_RESULT_ERROR);
    WriteLog(pszStatusText, LOG_ERROR);
}
