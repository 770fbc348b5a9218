// The call trace: when USBSIM_TRACE names a file, one line per driver call is
// appended to it, so that tests in other processes can see what each device
// was sent and when its answer was signalled.
#pragma once

#include "simulator/CriticalSection.h"

#include <string>

class CTrace
{
public:
    // An empty path switches the trace off.
    void SetPath(const std::string& path) { m_path = path; }
    bool IsOn() const { return !m_path.empty(); }

    // Appends one formatted line; the caller's last-error value survives it.
    void Line(const char* pszFormat, ...) __attribute__((format(gnu_printf, 2, 3)));

    static std::string Hex(const void* pData, size_t nSize);
    // The text in double quotes, with quotes, backslashes and unprintable
    // bytes written as \xNN, so a line stays one line.
    static std::string Quoted(const char* pch, size_t nSize);

private:
    std::string m_path;
    CCriticalSection m_cs;
};
