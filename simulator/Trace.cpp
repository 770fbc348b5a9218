#include "simulator/Trace.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace
{
const char kHexDigits[] = "0123456789ABCDEF";
} // namespace

void CTrace::Line(const char* pszFormat, ...)
{
    if (!IsOn())
        return;
    DWORD dwLastError = GetLastError();

    va_list args;
    va_start(args, pszFormat);
    va_list argsSized;
    va_copy(argsSized, args);
    int nLength = std::max(__mingw_vsnprintf(nullptr, 0, pszFormat, argsSized), 0);
    va_end(argsSized);
    std::string line(static_cast<size_t>(nLength) + 1, '\0');
    __mingw_vsnprintf(&line[0], line.size(), pszFormat, args);
    va_end(args);
    line.resize(static_cast<size_t>(nLength));
    line += "\r\n";

    {
        // Processes share the file: each line is opened, appended whole and
        // closed, so lines from several processes never interleave.
        CSingleLock lock(m_cs);
        HANDLE hFile =
            CreateFileA(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
        {
            DWORD dwWritten = 0;
            WriteFile(hFile, line.data(), static_cast<DWORD>(line.size()), &dwWritten, nullptr);
            CloseHandle(hFile);
        }
    }
    SetLastError(dwLastError);
}

std::string CTrace::Hex(const void* pData, size_t nSize)
{
    const unsigned char* pby = static_cast<const unsigned char*>(pData);
    std::string hex;
    hex.reserve(nSize * 2);
    for (size_t i = 0; i < nSize; ++i)
    {
        hex += kHexDigits[pby[i] >> 4];
        hex += kHexDigits[pby[i] & 0x0F];
    }
    return hex;
}

std::string CTrace::Quoted(const char* pch, size_t nSize)
{
    std::string quoted = "\"";
    for (size_t i = 0; i < nSize; ++i)
    {
        unsigned char ch = static_cast<unsigned char>(pch[i]);
        if (ch < 0x20 || ch >= 0x7F || ch == '"' || ch == '\\')
        {
            quoted += "\\x";
            quoted += kHexDigits[ch >> 4];
            quoted += kHexDigits[ch & 0x0F];
        }
        else
        {
            quoted += static_cast<char>(ch);
        }
    }
    return quoted + "\"";
}
