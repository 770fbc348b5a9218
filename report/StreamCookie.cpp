#include "report/StreamCookie.h"

#include "framework/SystemCalls.h"

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
    DWORD dwError = ERROR_SUCCESS;
    DWORD dwWritten = 0;
    if (!g_SystemCalls.WriteFile(pCookie->hFile, pbBuffer, static_cast<DWORD>(cb), &dwWritten, nullptr))
        dwError = LastErrorOr(ERROR_GEN_FAILURE);
    // A short write without an error (a full disk on some file systems) must
    // not pass as a whole chunk.
    else if (dwWritten != static_cast<DWORD>(cb))
        dwError = ERROR_DISK_FULL;
    pCookie->dwOffset += dwWritten;
    *pcb = static_cast<LONG>(dwWritten);
    return dwError;
}
