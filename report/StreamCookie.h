// The record a rich edit stream operation hands to its callback: the text to
// insert (memory mode), or the file (file mode): its path to read from, or
// the open file to write to; and the bytes handed over so far. A path is
// wide, as the system names the file: no conversion to the ANSI code page
// may change it.
#pragma once

#include <windows.h>

struct StreamCookie
{
    LPCSTR pszSource; // memory mode: the text
    LPCWSTR pszFile;  // file mode, reading: the file's path
    HANDLE hFile;     // file mode, writing: the open file
    BOOL bFile;
    DWORD dwOffset;
};

// A cookie for one stream operation, from GlobalAlloc; null when no memory is
// left. The user frees it with GlobalFree after the stream message returns.
StreamCookie* CreateStreamCookie(LPCSTR pszText);  // memory mode
StreamCookie* CreateStreamCookie(LPCWSTR pszFile); // file mode, to read from
StreamCookie* CreateStreamCookie(HANDLE hFile);    // file mode, to write to

// EM_STREAMIN's callback: delivers the cookie's text or file from dwOffset on.
DWORD CALLBACK StreamInCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
// EM_STREAMOUT's callback: writes each chunk to the cookie's open file.
DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
