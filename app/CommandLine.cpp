#include "app/CommandLine.h"

#include <cwchar>
#include <vector>

namespace
{
const WCHAR kReportSwitch[] = L"report";
const WCHAR kSimpleSwitch[] = L"simple";

BOOL IsBlank(WCHAR ch)
{
    return ch == L' ' || ch == L'\t';
}

// The arguments after the program name, split as the C runtime splits them:
// blanks separate, double quotes group, and backslashes count only before a
// quote (2n of them give n and the quote groups, 2n+1 give n and a quote).
std::vector<std::wstring> SplitArguments(LPCWSTR pszCommandLine)
{
    std::vector<std::wstring> arguments;
    LPCWSTR p = pszCommandLine != nullptr ? pszCommandLine : L"";
    // The program name ends at its closing quote, or at the first blank.
    if (*p == L'"')
    {
        for (++p; *p != L'\0' && *p != L'"'; ++p)
        {
        }
        if (*p == L'"')
            ++p;
    }
    while (*p != L'\0' && !IsBlank(*p))
        ++p;

    for (;;)
    {
        while (IsBlank(*p))
            ++p;
        if (*p == L'\0')
            return arguments;
        std::wstring argument;
        BOOL bQuoted = FALSE;
        while (*p != L'\0' && (bQuoted || !IsBlank(*p)))
        {
            if (*p == L'\\')
            {
                size_t nBackslashes = 0;
                for (; *p == L'\\'; ++p)
                    ++nBackslashes;
                if (*p != L'"')
                {
                    argument.append(nBackslashes, L'\\');
                    continue;
                }
                argument.append(nBackslashes / 2, L'\\');
                if (nBackslashes % 2 != 0)
                {
                    argument += L'"';
                    ++p;
                }
                continue;
            }
            if (*p == L'"')
                bQuoted = !bQuoted;
            else
                argument += *p;
            ++p;
        }
        arguments.push_back(argument);
    }
}

BOOL StartsLikeSwitch(const std::wstring& argument)
{
    return argument[0] == L'/' || argument[0] == L'-';
}

BOOL IsSwitch(const std::wstring& argument, LPCWSTR pszName)
{
    return StartsLikeSwitch(argument) && EqualsIgnoringAsciiCase(argument.c_str() + 1, pszName);
}

// /report itself, or a switch meant as it: "report" after one or more '/' or
// '-' and followed by anything but a letter or digit ("/report:FILE",
// "/report=FILE", "--report"). "/reports" is another word.
BOOL IsReportLike(const std::wstring& argument)
{
    const size_t nName = argument.find_first_not_of(L"/-");
    const size_t nLength = std::wcslen(kReportSwitch);
    if (nName == 0 || nName == std::wstring::npos ||
        !EqualsIgnoringAsciiCase(argument.substr(nName, nLength).c_str(), kReportSwitch))
        return FALSE;
    const WCHAR chAfter = argument.c_str()[nName + nLength];
    return !((chAfter >= L'a' && chAfter <= L'z') || (chAfter >= L'A' && chAfter <= L'Z') ||
             (chAfter >= L'0' && chAfter <= L'9'));
}
} // namespace

ReportCommand ParseReportCommand(LPCWSTR pszCommandLine)
{
    ReportCommand command = {FALSE, FALSE, std::wstring(), ERROR_SUCCESS};
    const std::vector<std::wstring> arguments = SplitArguments(pszCommandLine);
    BOOL bMalformed = FALSE;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        if (IsSwitch(arguments[i], kReportSwitch))
        {
            bMalformed = bMalformed || command.bReport;
            command.bReport = TRUE;
            // FILE is the argument right after /report, unless that looks
            // like a switch: a mistyped one ("/details") must not become a
            // file at the root of the current drive. A FILE of such a name
            // is given with its folder (".\-x.rtf").
            if (i + 1 < arguments.size() && !StartsLikeSwitch(arguments[i + 1]))
                command.path = arguments[++i];
        }
        else if (IsSwitch(arguments[i], kSimpleSwitch))
        {
            command.bSimple = TRUE;
        }
        else
        {
            // A mistyped /report is a report command all the same: a script
            // waiting for it must get its answer, not a dialog nobody sees.
            command.bReport = command.bReport || IsReportLike(arguments[i]);
            bMalformed = TRUE;
        }
    }
    // Another argument beside a report command: the script meant a report, so
    // it gets an answer rather than a dialog that nobody sees. A FILE of
    // blanks alone names nothing.
    const BOOL bBlankPath = command.path.find_first_not_of(L" \t") == std::wstring::npos;
    if (command.bReport && (bMalformed || bBlankPath))
        command.dwError = ERROR_INVALID_PARAMETER;
    return command;
}
