// Another process that holds an existing file open without sharing for the
// object's lifetime (the helper file_holder.exe beside the test); or, as a
// viewer, open for reading and shared for reading.
#pragma once

#include "support/Fixtures.h"

#include <windows.h>

#include <string>

class HeldFile : NonCopyable
{
public:
    explicit HeldFile(const std::string& path, bool bViewer = false);
    ~HeldFile();

    // True once the other process has the file open.
    bool Holding() const { return m_bHolding; }

private:
    PROCESS_INFORMATION m_process = {};
    HANDLE m_hReady = nullptr;
    HANDLE m_hRelease = nullptr;
    bool m_bHolding = false;
};
