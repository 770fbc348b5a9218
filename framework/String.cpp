#include "String.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list argsCopy;
    va_copy(argsCopy, args);
    const int nLength = std::vsnprintf(nullptr, 0, pszFormat, argsCopy);
    va_end(argsCopy);
    if (nLength < 0)
    {
        m_str.clear();
    }
    else
    {
        m_str.assign(static_cast<size_t>(nLength) + 1, '\0');
        std::vsnprintf(&m_str[0], m_str.size(), pszFormat, args);
        m_str.resize(static_cast<size_t>(nLength));
    }
    va_end(args);
}

CString& CString::TrimRight(LPCSTR pszChars)
{
    while (!m_str.empty() && std::strchr(pszChars, m_str.back()) != nullptr && m_str.back() != '\0')
        m_str.pop_back();
    return *this;
}

std::wstring WideFromAnsi(LPCSTR psz)
{
    if (psz == nullptr)
        return std::wstring();
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (cch <= 1)
        return std::wstring();
    std::wstring text(static_cast<size_t>(cch), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, psz, -1, &text[0], cch);
    text.resize(static_cast<size_t>(cch) - 1);
    return text;
}
