#include "report/ReportLog.h"

#include "framework/String.h"
#include "report/LogKind.h"
#include "report/StreamCookie.h"

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

CString ReportLineText(LPCSTR pszText, UINT nKind, BOOL bDetailed)
{
    const BYTE nLogKind = LOBYTE(nKind);
    if (pszText == nullptr || nLogKind == 0)
        return CString();
    const KindStyle& style = StyleOf(nLogKind);
    if (style.bDetailOnly && !bDetailed)
        return CString();
    CString line = style.pszPrefix;
    line += pszText;
    line += "\n";
    return line;
}

void AppendReportLine(CRichEditCtrl& richLog, LPCSTR pszText, UINT nKind, BOOL bDetailed)
{
    if (pszText == nullptr || LOBYTE(nKind) == 0)
        return;

    // {-1, -1} puts the caret behind the last character whatever the
    // report's length; a character position would cost a walk through
    // every line, and {length, -1} takes in the final paragraph mark.
    CHARRANGE crEnd = {-1, -1};
    richLog.SetSel(crEnd);

    const CString line = ReportLineText(pszText, nKind, bDetailed);
    if (line.IsEmpty())
        return;

    const KindStyle& style = StyleOf(LOBYTE(nKind));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof(cf);
    cf.dwMask = CFM_COLOR | CFM_BOLD;
    cf.dwEffects = style.bBold ? CFE_BOLD : 0;
    cf.crTextColor = style.crColor;

    richLog.SetSelectionCharFormat(cf);
    StreamCookie* pCookie = CreateStreamCookie(line);
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, StreamInCallback};
    richLog.StreamIn(SF_TEXT | SFF_SELECTION, es);
    ::GlobalFree(pCookie);
}
