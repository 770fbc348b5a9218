// Another process that holds an existing file open without sharing for the
// object's lifetime (the helper file_holder.exe beside the test).
#pragma once

#include <windows.h>

#include <string>

class HeldFile
{
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // True once the other process has the file open.
    bool Holding() const { return m_bHolding; }

private:
    PROCESS_INFORMATION m_process = {};
    HANDLE m_hReady = nullptr;
    HANDLE m_hRelease = nullptr;
    bool m_bHolding = false;
};
