// Counting a process's open handles: GetProcessHandleCount is a stub under
// Wine, while the system handle list is real.
#pragma once

#include <windows.h>

// The number of open handles of the process, or -1 when the list cannot be read.
long CountProcessHandles(DWORD dwProcessId);
// The process's private bytes (pagefile usage), or 0.
SIZE_T ProcessPrivateBytes(HANDLE hProcess);
