#include "report/StreamCookie.h"

#include "framework/SystemCalls.h"

#include <algorithm>
#include <cstring>

namespace
{
StreamCookie* NewStreamCookie(LPCSTR pszText, HANDLE hFile, BOOL bFile)
{
    StreamCookie* pCookie = static_cast<StreamCookie*>(g_SystemCalls.GlobalAlloc(GMEM_FIXED, sizeof(StreamCookie)));
    if (pCookie == nullptr)
        return nullptr;
    pCookie->pszSource = pszText;
    pCookie->hFile = hFile;
    pCookie->bFile = bFile;
    pCookie->dwOffset = 0;
    pCookie->dwHeldZeros = 0;
    return pCookie;
}

// The cookie of a call in the mode given; null, with nothing handed over,
// for a call the callbacks refuse.
StreamCookie* CookieOfCall(DWORD_PTR dwCookie, BOOL bFile, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = reinterpret_cast<StreamCookie*>(dwCookie);
    *pcb = 0;
    return pCookie != nullptr && pCookie->bFile == bFile && pbBuffer != nullptr && cb > 0 ? pCookie : nullptr;
}

// The bytes whole, or the reason why not.
DWORD WriteWhole(HANDLE hFile, const BYTE* pbBytes, DWORD cb, DWORD& dwWritten)
{
    dwWritten = 0;
    if (cb == 0)
        return ERROR_SUCCESS;
    if (!g_SystemCalls.WriteFile(hFile, pbBytes, cb, &dwWritten, nullptr))
        return LastErrorOr(ERROR_GEN_FAILURE);
    // A short write without an error (a full disk on some file systems) must
    // not pass as a whole chunk.
    return dwWritten == cb ? ERROR_SUCCESS : ERROR_DISK_FULL;
}
} // namespace

StreamCookie* CreateStreamCookie(LPCSTR pszText)
{
    return NewStreamCookie(pszText, INVALID_HANDLE_VALUE, FALSE);
}

StreamCookie* CreateStreamCookie(HANDLE hFile)
{
    return NewStreamCookie(nullptr, hFile, TRUE);
}

DWORD CALLBACK StreamInCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = CookieOfCall(dwCookie, FALSE, pbBuffer, cb, pcb);
    if (pCookie == nullptr)
        return ERROR_INVALID_PARAMETER;
    const size_t nLength = std::strlen(pCookie->pszSource);
    const size_t nLeft = pCookie->dwOffset < nLength ? nLength - pCookie->dwOffset : 0;
    const DWORD dwDelivered = static_cast<DWORD>(nLeft < static_cast<size_t>(cb) ? nLeft : static_cast<size_t>(cb));
    std::memcpy(pbBuffer, pCookie->pszSource + pCookie->dwOffset, dwDelivered);
    pCookie->dwOffset += dwDelivered;
    *pcb = static_cast<LONG>(dwDelivered);
    return ERROR_SUCCESS;
}

DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = CookieOfCall(dwCookie, TRUE, pbBuffer, cb, pcb);
    if (pCookie == nullptr)
        return ERROR_INVALID_PARAMETER;
    // The rich edit control's RTF stream can end with a zero byte (Wine's
    // does), which is no part of RTF and makes text tools (grep) take the
    // file for a binary one. Zero bytes at a chunk's end wait until text
    // follows them, so that the stream's last ones are never written.
    DWORD dwText = static_cast<DWORD>(cb);
    while (dwText > 0 && pbBuffer[dwText - 1] == 0)
        --dwText;
    DWORD dwError = ERROR_SUCCESS;
    DWORD dwWritten = 0;
    static const BYTE kZeros[16] = {};
    while (dwText > 0 && pCookie->dwHeldZeros > 0 && dwError == ERROR_SUCCESS)
    {
        dwError = WriteWhole(pCookie->hFile, kZeros, std::min<DWORD>(pCookie->dwHeldZeros, sizeof(kZeros)), dwWritten);
        pCookie->dwHeldZeros -= dwWritten;
    }
    if (dwError == ERROR_SUCCESS)
        dwError = WriteWhole(pCookie->hFile, pbBuffer, dwText, dwWritten);
    // All of it taken, the held zeros too, unless a write failed: a chunk of
    // zeros alone counts as taken, or the control would stop the stream.
    const DWORD dwTaken = dwError == ERROR_SUCCESS ? static_cast<DWORD>(cb) : dwWritten;
    if (dwError == ERROR_SUCCESS)
        pCookie->dwHeldZeros += static_cast<DWORD>(cb) - dwText;
    pCookie->dwOffset += dwTaken;
    *pcb = static_cast<LONG>(dwTaken);
    return dwError;
}
