// The record a rich edit stream operation hands to its callback: the text to
// insert (memory mode) or the path of the file (file mode), and the bytes
// handed over so far.
#pragma once

#include <windows.h>

struct StreamCookie
{
    LPCSTR pszSource;
    BOOL bFile;
    DWORD dwOffset;
};

// A cookie for one stream operation, from GlobalAlloc; null when no memory is
// left. The user frees it with GlobalFree after the stream message returns.
StreamCookie* CreateStreamCookie(LPCSTR pszSource, BOOL bFile);

// EM_STREAMIN's callback: delivers the cookie's text or file from dwOffset on.
DWORD CALLBACK StreamInCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
