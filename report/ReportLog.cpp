// The report writer: every finding reaches the report through WriteLog and
// WriteResult, which run on the check thread and reach the control only
// through one synchronous message per write that the window thread carries
// out. The end-of-run record is written here and handed to the dialog (app/).
#include "app/UsbInstallationTestDlg.h"
#include "report/StreamCookie.h"

#include <cstring>

namespace
{
struct KindStyle
{
    BYTE nKind;
    LPCSTR pszPrefix;
    COLORREF crColor;
    BOOL bBold;
    BOOL bDetailOnly;
};

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kGreen = RGB(0, 127, 0);
const COLORREF kRed = RGB(255, 0, 0);
const char kResultPrefix[] = "... Result:   ";

const KindStyle kStyles[] = {
    {LOG_TEXT, "", kBlack, FALSE, FALSE},
    {LOG_HEADING, "\n", kBlue, FALSE, FALSE},
    {LOG_DETAIL, "\t", kBlack, FALSE, TRUE},
    {LOG_RESULT_OK, kResultPrefix, kGreen, FALSE, FALSE},
    {LOG_RESULT_WARNING, kResultPrefix, kRed, FALSE, FALSE},
    {LOG_RESULT_ERROR, kResultPrefix, kRed, FALSE, FALSE},
    {LOG_DETAIL_ALERT, "\t", kRed, FALSE, TRUE},
    {LOG_ERROR, "Error:   ", kRed, TRUE, FALSE},
};

// No caller passes another kind; such a message is plain black text, always shown.
const KindStyle kUnknownStyle = {0, "", kBlack, FALSE, FALSE};

const KindStyle& StyleOf(BYTE nKind)
{
    for (const KindStyle& style : kStyles)
    {
        if (style.nKind == nKind)
            return style;
    }
    return kUnknownStyle;
}
} // namespace

void CUsbInstallationTestDlg::WriteLog(LPCSTR pszText, UINT nKind)
{
    // From the check thread the whole write is one step on the window thread.
    // Between separate messages the window thread serves the user and the
    // dialog manager: a selection made there (a drag in the report, or the
    // select-all of a focus restored on activation) was replaced by the line.
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId())
    {
        SendMessage(WM_APP_WRITE_LOG, nKind, reinterpret_cast<LPARAM>(pszText));
        return;
    }

    const BYTE nLogKind = LOBYTE(nKind);
    if (pszText != nullptr && nLogKind != 0)
    {
        // An empty selection at the end, also for a message the view leaves out.
        // {-1, -1} puts the caret behind the last character whatever the
        // report's length; a character position would cost a walk through
        // every line, and {length, -1} takes in the final paragraph mark.
        CHARRANGE crEnd = {-1, -1};
        m_richLog.SetSel(crEnd);

        const KindStyle& style = StyleOf(nLogKind);
        CHARFORMATA cf = {};
        cf.cbSize = sizeof(cf);
        cf.dwMask = CFM_COLOR | CFM_BOLD;
        cf.dwEffects = style.bBold ? CFE_BOLD : 0;
        cf.crTextColor = style.crColor;

        CString message = style.pszPrefix;
        message += pszText;
        message += "\n";

        if (!style.bDetailOnly || m_bDetailed.load())
        {
            m_richLog.SetSelectionCharFormat(cf);
            StreamCookie* pCookie = CreateStreamCookie(message);
            EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, StreamInCallback};
            m_richLog.StreamIn(SF_TEXT | SFF_SELECTION, es);
            ::GlobalFree(pCookie);
        }
    }

    if (m_richLog.GetWindowTextLength() > 0)
    {
        m_btnDetails.EnableWindow(TRUE);
        m_btnSave.EnableWindow(TRUE);
    }
}

LRESULT CUsbInstallationTestDlg::OnWriteLog(WPARAM wParam, LPARAM lParam)
{
    WriteLog(reinterpret_cast<LPCSTR>(lParam), static_cast<UINT>(wParam));
    return 0;
}

void CUsbInstallationTestDlg::WriteResult(ResultRecord record)
{
    WriteLog(record.pszText, record.nKind);

    if (record.dwCode == RESULT_END_OF_RUN)
    {
        WriteLog(REPORT_RULE, LOG_TEXT);
        const BOOL bSucceeded = record.pszText != nullptr && std::strcmp(record.pszText, SUMMARY_SUCCESS) == 0;
        // The last use of the dialog: once the run is handed over, it may be gone.
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
