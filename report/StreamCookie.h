// The record a rich edit stream operation hands to its callback: the text to
// insert (memory mode), or the open file the report is saved to (file mode);
// and the bytes handed over so far.
#pragma once

#include <windows.h>

struct StreamCookie
{
    LPCSTR pszSource; // memory mode: the text
    HANDLE hFile;     // file mode: the open file to write to
    BOOL bFile;
    DWORD dwOffset;
    DWORD dwHeldZeros; // file mode: zero bytes at the end of what was handed over, not yet written
};

// A cookie for one stream operation, from GlobalAlloc; null when no memory is
// left. The user frees it with GlobalFree after the stream message returns.
StreamCookie* CreateStreamCookie(LPCSTR pszText); // memory mode
StreamCookie* CreateStreamCookie(HANDLE hFile);   // file mode

// The two callbacks refuse a null cookie or buffer, a length that is not
// positive and a cookie of the other mode with ERROR_INVALID_PARAMETER.
// EM_STREAMIN's: delivers the cookie's text from dwOffset on.
DWORD CALLBACK StreamInCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
// EM_STREAMOUT's: writes each chunk to the cookie's open file, but for zero
// bytes that end the stream.
DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
