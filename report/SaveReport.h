// Saving the report as RTF.
#pragma once

#include <windows.h>

// EM_STREAMOUT's callback: appends each chunk to the cookie's file, creating
// (and so emptying) it on the first chunk; the file is closed after every chunk.
DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);
