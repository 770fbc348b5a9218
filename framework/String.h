// The framework's string: an 8-bit ANSI text that converts to LPCSTR; and a
// case-blind compare of names.
#pragma once

#include <windows.h>
#include <string>

class CString
{
public:
    CString() = default;
    CString(LPCSTR psz) : m_str(psz != nullptr ? psz : "") {}
    CString(LPCSTR pch, int nLength) : m_str(pch, nLength) {}
    CString(char ch, int nRepeat) : m_str(static_cast<size_t>(nRepeat), ch) {}

    operator LPCSTR() const { return m_str.c_str(); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    CString& operator=(LPCSTR psz)
    {
        m_str = psz != nullptr ? psz : "";
        return *this;
    }
    CString& operator+=(LPCSTR psz)
    {
        m_str += psz != nullptr ? psz : "";
        return *this;
    }
    CString& operator+=(char ch)
    {
        m_str += ch;
        return *this;
    }
    friend CString operator+(const CString& a, LPCSTR b)
    {
        CString result(a);
        result += b;
        return result;
    }
    friend bool operator==(const CString& a, LPCSTR b) { return b != nullptr && a.m_str == b; }

    // printf-style; the result is as long as its text needs.
    void Format(LPCSTR pszFormat, ...);
    // Removes every trailing character that is one of pszChars.
    CString& TrimRight(LPCSTR pszChars);

private:
    std::string m_str;
};

// An ANSI text as UTF-16, for the W functions; empty for null.
std::wstring WideFromAnsi(LPCSTR psz);

// Names of the system's own (registry keys, switches) compared with ASCII
// letters in either case and every other character as it stands: the case
// rules of the user's language (a Turkish dotless i) must not decide.
template <typename Char>
bool EqualsIgnoringAsciiCase(const Char* pszA, const Char* pszB)
{
    const auto lower = [](Char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<Char>(ch - 'A' + 'a') : ch; };
    for (; lower(*pszA) == lower(*pszB); ++pszA, ++pszB)
    {
        if (*pszA == 0)
            return true;
    }
    return false;
}
