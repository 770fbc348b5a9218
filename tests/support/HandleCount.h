// Counting a process's open handles under Wine, where GetProcessHandleCount is
// a stub. The system handle list is not read: Wine's server walks past the end
// of a process's handle table while it is still empty, as it is for a moment
// when a process starts, and crashes; every process of the prefix then waits
// for it forever. Each handle value the process's table can hold is tried
// instead.
#pragma once

#include <windows.h>

// The number of open handles of the process, or -1 when they cannot be read.
long CountProcessHandles(DWORD dwProcessId);
// The number of threads of the process, or -1.
long CountProcessThreads(DWORD dwProcessId);
// The process's private bytes (pagefile usage), or 0.
SIZE_T ProcessPrivateBytes(HANDLE hProcess);
