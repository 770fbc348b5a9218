#include "support/RtfText.h"

#include "support/ExpectedReport.h"
#include "support/Fixtures.h"

#include <windows.h>

#include <richedit.h>

#include <cstring>

namespace
{
struct RtfSource
{
    const std::string* pRtf;
    size_t nOffset;
};

DWORD CALLBACK ReadRtf(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    RtfSource* pSource = reinterpret_cast<RtfSource*>(dwCookie);
    const size_t nLeft = pSource->pRtf->size() - pSource->nOffset;
    const size_t nCopy = nLeft < static_cast<size_t>(cb) ? nLeft : static_cast<size_t>(cb);
    std::memcpy(pbBuffer, pSource->pRtf->data() + pSource->nOffset, nCopy);
    pSource->nOffset += nCopy;
    *pcb = static_cast<LONG>(nCopy);
    return 0;
}
} // namespace

std::string RtfToPlainText(const std::string& rtf)
{
    static const HMODULE hRichEdit = ::LoadLibraryA("RICHED32.DLL");
    if (hRichEdit == nullptr)
        return "<no rich edit library>";
    // Never shown: a hidden top-level window costs nothing to destroy.
    const HWND hwnd = ::CreateWindowExA(0, "RichEdit", "", WS_POPUP | ES_MULTILINE, 0, 0, 400, 300, nullptr, nullptr,
                                        nullptr, nullptr);
    if (hwnd == nullptr)
        return "<no rich edit control>";
    ::SendMessageA(hwnd, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
    RtfSource source = {&rtf, 0};
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(&source), 0, ReadRtf};
    ::SendMessageA(hwnd, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));

    const int nLength = static_cast<int>(::SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0));
    std::string text(static_cast<size_t>(nLength) + 1, '\0');
    const int nCopied =
        static_cast<int>(::SendMessageA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    text.resize(static_cast<size_t>(nCopied > 0 ? nCopied : 0));
    ::DestroyWindow(hwnd);

    return MaskFooter(NormalizeLineEnds(text));
}
