// The system and Windows directories, and the libraries the program loads
// from the system directory only.
#pragma once

#include "String.h"

// Reads a directory into a 256-character buffer. 0, or the error code: 122
// for a path the buffer cannot hold, 3 for a failure that names no reason.
DWORD QuerySystemDirectory(CString& directory);
DWORD QueryWindowsDirectory(CString& directory);

// The folder that this program's accesses to the system directory reach:
// SysWOW64 for the 32-bit program under WOW64, which they are redirected to,
// else the system directory. A path in it names the folder its file is in.
DWORD QueryReachedSystemDirectory(CString& directory);

// Whether this process runs under WOW64, where the system directory it sees
// is SysWOW64: 0 with bWow64 set, or the reason the system could not tell.
// Windows without IsWow64Process (before XP SP2) has no WOW64.
DWORD QueryWow64(BOOL& bWow64);

// Loads the library of that file name by its full path in the system
// directory (SysWOW64 for this 32-bit program under WOW64), never a copy in
// the program's folder, the current directory or PATH, which the search for a
// bare name takes first; the libraries it imports are looked for in the
// system directory first as well. Null on failure, with the reason in
// GetLastError.
HMODULE LoadSystemLibrary(LPCSTR pszFileName);

// Sends the search for every library loaded by bare name from now on, by the
// program or by Windows' own components (the Save dialog's shell extensions,
// input method and theme libraries), to the system directory only, where
// Windows has SetDefaultDllDirectories (8 and later, Vista and 7 with the
// loader update). Elsewhere the system directory takes the current
// directory's place in the search, which still starts in the program's folder.
void RestrictLibrarySearch();
