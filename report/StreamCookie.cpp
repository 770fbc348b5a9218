#include "report/StreamCookie.h"

#include "framework/SystemCalls.h"

#include <cstring>

namespace
{
StreamCookie* NewStreamCookie(LPCSTR pszText, LPCWSTR pszFile, HANDLE hFile, BOOL bFile)
{
    StreamCookie* pCookie = static_cast<StreamCookie*>(g_SystemCalls.GlobalAlloc(GMEM_FIXED, sizeof(StreamCookie)));
    if (pCookie == nullptr)
        return nullptr;
    pCookie->pszSource = pszText;
    pCookie->pszFile = pszFile;
    pCookie->hFile = hFile;
    pCookie->bFile = bFile;
    pCookie->dwOffset = 0;
    return pCookie;
}

// Reads the cookie's file from dwOffset; opened and closed on every call.
DWORD ReadFromFile(const StreamCookie& cookie, LPBYTE pbBuffer, LONG cb, DWORD& dwRead)
{
    dwRead = 0;
    const HANDLE hFile = g_SystemCalls.CreateFileW(cookie.pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // A failure must never read as success (0): the control would take it as the end of the text.
    if (hFile == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_GEN_FAILURE);

    DWORD dwError = ERROR_SUCCESS;
    const DWORD dwSize = g_SystemCalls.GetFileSize(hFile, nullptr);
    if (dwSize == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        dwError = ::GetLastError();
    else if (g_SystemCalls.SetFilePointer(hFile, static_cast<LONG>(cookie.dwOffset), nullptr, FILE_BEGIN) ==
                 INVALID_SET_FILE_POINTER &&
             ::GetLastError() != NO_ERROR)
        dwError = ::GetLastError();
    else
    {
        const DWORD dwToRead = dwSize < static_cast<DWORD>(cb) ? dwSize : static_cast<DWORD>(cb);
        if (!g_SystemCalls.ReadFile(hFile, pbBuffer, dwToRead, &dwRead, nullptr))
            dwError = LastErrorOr(ERROR_GEN_FAILURE);
    }
    ::CloseHandle(hFile);
    return dwError;
}
} // namespace

StreamCookie* CreateStreamCookie(LPCSTR pszText)
{
    return NewStreamCookie(pszText, nullptr, INVALID_HANDLE_VALUE, FALSE);
}

StreamCookie* CreateStreamCookie(LPCWSTR pszFile)
{
    return NewStreamCookie(nullptr, pszFile, INVALID_HANDLE_VALUE, TRUE);
}

StreamCookie* CreateStreamCookie(HANDLE hFile)
{
    return NewStreamCookie(nullptr, nullptr, hFile, TRUE);
}

DWORD CALLBACK StreamInCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = reinterpret_cast<StreamCookie*>(dwCookie);
    if (pCookie == nullptr || pbBuffer == nullptr || cb <= 0)
    {
        *pcb = 0;
        return ERROR_INVALID_PARAMETER;
    }

    DWORD dwError = ERROR_SUCCESS;
    DWORD dwDelivered = 0;
    if (!pCookie->bFile)
    {
        const size_t nLength = std::strlen(pCookie->pszSource);
        const size_t nLeft = pCookie->dwOffset < nLength ? nLength - pCookie->dwOffset : 0;
        dwDelivered = static_cast<DWORD>(nLeft < static_cast<size_t>(cb) ? nLeft : static_cast<size_t>(cb));
        std::memcpy(pbBuffer, pCookie->pszSource + pCookie->dwOffset, dwDelivered);
    }
    else
    {
        dwError = ReadFromFile(*pCookie, pbBuffer, cb, dwDelivered);
    }

    pCookie->dwOffset += dwDelivered;
    *pcb = static_cast<LONG>(dwDelivered);
    return dwError;
}

DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = reinterpret_cast<StreamCookie*>(dwCookie);
    if (pCookie == nullptr || pbBuffer == nullptr || cb <= 0)
    {
        *pcb = 0;
        return ERROR_INVALID_PARAMETER;
    }
    if (!pCookie->bFile)
    {
        *pcb = 0;
        return ERROR_SUCCESS;
    }

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
