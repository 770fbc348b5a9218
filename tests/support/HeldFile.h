// A file held open as another program holds it: without sharing, or, as a
// viewer, for reading and shared for reading. The sharing rules are those of
// a handle, whoever holds it, so this process holds it, for the real programs
// as for a dialog hosted here. Let go by Release(), when the holder goes, or
// after dwReleaseAfterMs on a thread of its own.
#pragma once

#include "support/Fixtures.h"

#include <windows.h>

#include <string>
#include <thread>

class HeldFile : NonCopyable
{
public:
    explicit HeldFile(const std::string& path, DWORD dwReleaseAfterMs = INFINITE, bool bViewer = false);
    ~HeldFile();

    bool Holding() const { return m_hFile != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE volatile m_hFile;
    std::thread m_release;
};
