// Result lines, and the system's text for an error code.
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
