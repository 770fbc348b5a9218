// Counting this process's open handles under Wine, where GetProcessHandleCount
// is a stub. The system handle list is not read: Wine's server walks past the end
// of a process's handle table while it is still empty, as it is for a moment
// when a process starts, and crashes; every process of the prefix then waits
// for it forever. Each handle value the process's table can hold is tried
// instead.
#pragma once

#include "support/Fixtures.h"

#include <windows.h>

// The number of threads of the process, or -1.
long CountProcessThreads(DWORD dwProcessId);
// The process's private bytes (pagefile usage), or 0.
SIZE_T ProcessPrivateBytes(HANDLE hProcess);

// The handles of this process that nRounds calls of round leave open: the
// count after them less the count before, once it has come down to that
// (waited for up to 10 s, with wait serving what must be served meanwhile,
// or polled): a thread's handle goes only as the thread leaves. Run round
// once before, for what the process keeps for good once it has run. Fails
// the test when the handles cannot be counted.
long HandlesLeftBy(const std::function<void()>& round, int nRounds = 1, const WaitFn& wait = nullptr);
