// Result lines, and the system's text for an error code.
#include "report/ReportWriter.h"

#include "framework/String.h"
#include "framework/SystemCalls.h"

namespace
{
// Indexed by ResultKind.
const struct
{
    LPCSTR pszText;
    UINT nKind;
} kResultLines[] = {
    {"OK", LOG_RESULT_OK},
    {"Warning", LOG_RESULT_WARNING},
    {"Error", LOG_RESULT_ERROR},
};
} // namespace

void CReportWriter::WriteResult(const CheckResult& result)
{
    if (result.kind == RESULT_WARNING && !result.text.IsEmpty())
        WriteLog(result.text, LOG_DETAIL_ALERT);
    WriteLog(kResultLines[result.kind].pszText, kResultLines[result.kind].nKind);
    if (result.kind != RESULT_ERROR)
        return;
    CString entry = result.text;
    if (!entry.IsEmpty() || FormatErrorEntry(result.dwCode, entry))
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

CString EscapeControlCharacters(LPCSTR pszText)
{
    CString escaped;
    for (LPCSTR p = pszText != nullptr ? pszText : ""; *p != '\0'; ++p)
    {
        const unsigned char ch = static_cast<unsigned char>(*p);
        if (ch >= 0x20 && ch != 0x7F)
        {
            escaped += *p;
            continue;
        }
        char szEscape[8];
        ::wsprintfA(szEscape, "\\x%02X", ch);
        escaped += szEscape;
    }
    return escaped;
}
