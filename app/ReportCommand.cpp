#include "app/ReportCommand.h"

#include "app/UsbInstallationTestDlg.h"
#include "report/ReportFile.h"
#include "res/resource.h"

#include <cstring>
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

// Switch names are ASCII and matched by ASCII letter case alone: the case
// rules of the user's language (a Turkish dotless i) must not decide.
BOOL StartsWithName(LPCWSTR psz, LPCWSTR pszName)
{
    for (; *pszName != L'\0'; ++psz, ++pszName)
    {
        const WCHAR ch = *psz >= L'A' && *psz <= L'Z' ? static_cast<WCHAR>(*psz - L'A' + L'a') : *psz;
        if (ch != *pszName)
            return FALSE;
    }
    return TRUE;
}

BOOL IsSwitch(const std::wstring& argument, LPCWSTR pszName)
{
    return (argument[0] == L'/' || argument[0] == L'-') && argument.size() == 1 + std::wcslen(pszName) &&
           StartsWithName(argument.c_str() + 1, pszName);
}

// /report itself, or a switch meant as it: "report" after one or more '/' or
// '-' and followed by anything but a letter or digit ("/report:FILE",
// "/report=FILE", "--report"). "/reports" is another word.
BOOL IsReportLike(const std::wstring& argument)
{
    const size_t nName = argument.find_first_not_of(L"/-");
    if (nName == 0 || nName == std::wstring::npos || !StartsWithName(argument.c_str() + nName, kReportSwitch))
        return FALSE;
    const WCHAR chAfter = argument.c_str()[nName + std::wcslen(kReportSwitch)];
    return !((chAfter >= L'a' && chAfter <= L'z') || (chAfter >= L'A' && chAfter <= L'Z') ||
             (chAfter >= L'0' && chAfter <= L'9'));
}

// The check dialog's template without WS_VISIBLE and with WS_DISABLED:
// created from it, the dialog is never shown, and the focus that the dialog
// manager gives its first control cannot activate it and take the keyboard
// from the window the user works in. Empty when the resource cannot be read.
std::vector<BYTE> HiddenDialogTemplate()
{
    std::vector<BYTE> copy;
    const HINSTANCE hInstance = AfxGetResourceHandle();
    const HRSRC hResource = ::FindResourceA(hInstance, MAKEINTRESOURCEA(IDD_USBINSTALLATIONTEST_DIALOG), RT_DIALOG);
    const HGLOBAL hLoaded = hResource != nullptr ? ::LoadResource(hInstance, hResource) : nullptr;
    const BYTE* pBytes = hLoaded != nullptr ? static_cast<const BYTE*>(::LockResource(hLoaded)) : nullptr;
    const DWORD cbTemplate = pBytes != nullptr ? ::SizeofResource(hInstance, hResource) : 0;
    if (cbTemplate < sizeof(DLGTEMPLATE))
        return copy;
    copy.assign(pBytes, pBytes + cbTemplate);

    // An extended template starts with version 1 and the signature 0xFFFF;
    // its style follows the help ID and the extended style.
    WORD wVersion;
    WORD wSignature;
    std::memcpy(&wVersion, &copy[0], sizeof(WORD));
    std::memcpy(&wSignature, &copy[sizeof(WORD)], sizeof(WORD));
    const size_t nStyleOffset = wVersion == 1 && wSignature == 0xFFFF ? 12 : 0;
    DWORD dwStyle;
    std::memcpy(&dwStyle, &copy[nStyleOffset], sizeof(DWORD));
    dwStyle = (dwStyle & ~static_cast<DWORD>(WS_VISIBLE)) | WS_DISABLED;
    std::memcpy(&copy[nStyleOffset], &dwStyle, sizeof(DWORD));
    return copy;
}

// Carries out this thread's messages until the dialog has taken a run back:
// the run's report writes and its end are messages sent to this thread. A
// dialog closed meanwhile has taken the run back while it waited for it.
void ServeMessagesUntilRunEnds(const CUsbInstallationTestDlg& dlg, UINT nRunsEndedBefore)
{
    // A window that is gone takes no more messages: nothing could end the wait.
    const auto bRunInProgress = [&dlg, nRunsEndedBefore] {
        return dlg.m_nRunsEnded == nRunsEndedBefore && dlg.m_hWnd != nullptr;
    };
    while (bRunInProgress())
    {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (bRunInProgress())
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
}

// One run on the dialog, created hidden, started as a user starts it: Start
// for the simple view, the view switch for the detailed one.
DWORD RunHidden(CUsbInstallationTestDlg& dlg, BOOL bSimple)
{
    const std::vector<BYTE> dialogTemplate = HiddenDialogTemplate();
    if (dialogTemplate.empty())
        return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);
    if (!dlg.CreateIndirect(reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data())))
        return LastErrorOr(ERROR_CANNOT_FIND_WND_CLASS);

    const int nButton = bSimple ? IDC_BUTTON_START : IDC_BUTTON_DETAILS;
    const UINT nRunsEndedBefore = dlg.m_nRunsEnded;
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED),
                    reinterpret_cast<LPARAM>(::GetDlgItem(dlg.m_hWnd, nButton)));
    // A run that did not start leaves the thread creation's reason.
    if (dlg.m_hWorkerThread == nullptr)
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    ServeMessagesUntilRunEnds(dlg, nRunsEndedBefore);
    // Closed during the run (by the end of the session, say): the run was
    // cancelled and its report went with the dialog.
    if (dlg.m_hWnd == nullptr)
        return ERROR_CANCELLED;
    return ERROR_SUCCESS;
}

// The hidden dialog of one report: when Windows ends the session during the
// run, the report's temporary file goes before the process may be ended.
class CReportCommandDlg : public CUsbInstallationTestDlg
{
public:
    explicit CReportCommandDlg(CReportFile& file) : m_file(file) {}

protected:
    void OnSessionEnded() override { m_file.Discard(); }

private:
    CReportFile& m_file;
};
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
            // FILE is the argument right after /report, unless that is a switch.
            const BOOL bFileFollows = i + 1 < arguments.size() && !IsReportLike(arguments[i + 1]) &&
                                      !IsSwitch(arguments[i + 1], kSimpleSwitch);
            if (bFileFollows)
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

DWORD RunReportCommand(const ReportCommand& command)
{
    if (command.dwError != ERROR_SUCCESS)
        return command.dwError;
    // Nobody is there to answer a system message box (a drive without its
    // disk, a crash): the call fails, or the process ends, instead.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    CReportFile file;
    DWORD dwError = file.Create(command.path.c_str());
    if (dwError == ERROR_SUCCESS)
        dwError = file.CheckReplaceable();
    if (dwError != ERROR_SUCCESS)
        return dwError;

    // The report as "Save Informations" writes it, into the temporary file,
    // which then takes FILE's place.
    CReportCommandDlg dlg(file);
    dwError = RunHidden(dlg, command.bSimple);
    if (dwError == ERROR_SUCCESS)
        dwError = file.Write(dlg.m_richLog);
    if (dwError == ERROR_SUCCESS)
        dwError = file.Replace(TRUE);
    // Closed as Exit closes it; a run still in progress is cancelled and waited for.
    if (dlg.m_hWnd != nullptr)
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    // The report tells which driver call did not return.
    if (dlg.m_bLastRunGivenUp)
        return ERROR_TIMEOUT;
    return dlg.m_bLastRunSucceeded ? REPORT_EXIT_SUCCEEDED : REPORT_EXIT_FINISHED;
}
