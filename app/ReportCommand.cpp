#include "app/ReportCommand.h"

#include "app/UsbInstallationTestDlg.h"
#include "report/SaveReport.h"
#include "res/resource.h"

#include <cstring>
#include <vector>

namespace
{
const char kReportSwitch[] = "report";
const char kSimpleSwitch[] = "simple";
const int kTempFileAttempts = 100;

BOOL IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// The arguments after the program name, split as the C runtime splits them:
// blanks separate, double quotes group, and backslashes count only before a
// quote (2n of them give n and the quote groups, 2n+1 give n and a quote).
std::vector<CString> SplitArguments(LPCSTR pszCommandLine)
{
    std::vector<CString> arguments;
    LPCSTR p = pszCommandLine != nullptr ? pszCommandLine : "";
    // The program name ends at its closing quote, or at the first blank.
    if (*p == '"')
    {
        for (++p; *p != '\0' && *p != '"'; ++p)
        {
        }
        if (*p == '"')
            ++p;
    }
    while (*p != '\0' && !IsBlank(*p))
        ++p;

    for (;;)
    {
        while (IsBlank(*p))
            ++p;
        if (*p == '\0')
            return arguments;
        CString argument;
        BOOL bQuoted = FALSE;
        while (*p != '\0' && (bQuoted || !IsBlank(*p)))
        {
            if (*p == '\\')
            {
                int nBackslashes = 0;
                for (; *p == '\\'; ++p)
                    ++nBackslashes;
                if (*p != '"')
                {
                    argument += CString('\\', nBackslashes);
                    continue;
                }
                argument += CString('\\', nBackslashes / 2);
                if (nBackslashes % 2 != 0)
                {
                    argument += '"';
                    ++p;
                }
                continue;
            }
            if (*p == '"')
                bQuoted = !bQuoted;
            else
                argument += *p;
            ++p;
        }
        arguments.push_back(argument);
    }
}

BOOL IsSwitch(LPCSTR pszArgument, LPCSTR pszName)
{
    return (pszArgument[0] == '/' || pszArgument[0] == '-') && ::lstrcmpiA(pszArgument + 1, pszName) == 0;
}

// FILE as a full path, and its folder with the separator at its end.
struct ReportTarget
{
    CString path;
    CString folder;
};

DWORD ResolveTarget(LPCSTR pszPath, ReportTarget& target)
{
    char szFull[MAX_PATH];
    LPSTR pszName = nullptr;
    const DWORD dwLength = ::GetFullPathNameA(pszPath, MAX_PATH, szFull, &pszName);
    if (dwLength == 0)
        return LastErrorOr(ERROR_INVALID_PARAMETER);
    if (dwLength >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;

    // A FILE that exists must be one this process may replace, and its folder
    // must exist: a folder, a read-only file, a file another process holds
    // open or a missing folder fails here, before the run, with the system's
    // reason. Opened this way the file is not changed.
    const HANDLE hFile =
        g_SystemCalls.CreateFileA(szFull, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        ::CloseHandle(hFile);
    }
    else
    {
        const DWORD dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        if (dwError != ERROR_FILE_NOT_FOUND)
            return dwError;
    }
    // A path that ends in a separator names a folder; one that exists failed above.
    if (pszName == nullptr || *pszName == '\0')
        return ERROR_PATH_NOT_FOUND;

    target.path = szFull;
    target.folder = CString(szFull, static_cast<int>(pszName - szFull));
    return ERROR_SUCCESS;
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

// A new, empty file of a name no other file has, in FILE's folder.
DWORD CreateTempFile(const CString& folder, CString& tempPath)
{
    for (int nAttempt = 0; nAttempt < kTempFileAttempts; ++nAttempt)
    {
        tempPath.Format("%s~report-%lX-%d.tmp", static_cast<LPCSTR>(folder), ::GetCurrentProcessId(), nAttempt);
        const HANDLE hFile =
            g_SystemCalls.CreateFileA(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
        {
            ::CloseHandle(hFile);
            return ERROR_SUCCESS;
        }
        const DWORD dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return dwError;
    }
    return ERROR_FILE_EXISTS;
}

// The report as "Save Informations" writes it, into the temporary file, which
// then takes FILE's place; on failure the temporary file goes again.
DWORD WriteReport(CUsbInstallationTestDlg& dlg, const ReportTarget& target)
{
    CString tempPath;
    DWORD dwError = CreateTempFile(target.folder, tempPath);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    dwError = SaveReportAsRtf(dlg.m_richLog, tempPath);
    if (dwError == ERROR_SUCCESS && !::MoveFileExA(tempPath, target.path, MOVEFILE_REPLACE_EXISTING))
        dwError = LastErrorOr(ERROR_ACCESS_DENIED);
    if (dwError != ERROR_SUCCESS)
        ::DeleteFileA(tempPath);
    return dwError;
}
} // namespace

ReportCommand ParseReportCommand(LPCSTR pszCommandLine)
{
    ReportCommand command = {FALSE, FALSE, CString(), ERROR_SUCCESS};
    const std::vector<CString> arguments = SplitArguments(pszCommandLine);
    BOOL bMalformed = FALSE;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        if (IsSwitch(arguments[i], kReportSwitch))
        {
            bMalformed = bMalformed || command.bReport;
            command.bReport = TRUE;
            // FILE is the argument right after /report, unless that is a switch.
            const BOOL bFileFollows = i + 1 < arguments.size() && !IsSwitch(arguments[i + 1], kReportSwitch) &&
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
            bMalformed = TRUE;
        }
    }
    // Another argument beside a report command: the script meant a report, so
    // it gets an answer rather than a dialog that nobody sees.
    if (command.bReport && (bMalformed || command.path.IsEmpty()))
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

    ReportTarget target;
    DWORD dwError = ResolveTarget(command.path, target);
    if (dwError != ERROR_SUCCESS)
        return dwError;

    CUsbInstallationTestDlg dlg;
    dwError = RunHidden(dlg, command.bSimple);
    if (dwError == ERROR_SUCCESS)
        dwError = WriteReport(dlg, target);
    // Closed as Exit closes it; a run still in progress is cancelled and waited for.
    if (dlg.m_hWnd != nullptr)
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    return dlg.m_bLastRunSucceeded ? REPORT_EXIT_SUCCEEDED : REPORT_EXIT_FINISHED;
}
