#include "app/ReportCommand.h"

#include "app/UsbInstallationTestDlg.h"
#include "report/SaveReport.h"
#include "res/resource.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace
{
const WCHAR kReportSwitch[] = L"report";
const WCHAR kSimpleSwitch[] = L"simple";
const int kTempFileAttempts = 100;
// A report replaces only an empty file or an RTF file.
const char kRtfSignature[] = "{\\rtf";
// How long a move over a FILE that another program holds open is tried
// again, and the pause between the tries.
const DWORD kHeldTargetWaitMs = 2000;
const DWORD kHeldTargetPauseMs = 100;

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

// FILE as a full path, its folder with the separator at its end, and the
// temporary file in that folder that the report is written to first.
struct ReportTarget
{
    std::wstring path;
    std::wstring folder;
    std::wstring tempPath;
};

DWORD ResolveTarget(LPCWSTR pszPath, ReportTarget& target)
{
    WCHAR szFull[MAX_PATH];
    const DWORD dwLength = ::GetFullPathNameW(pszPath, MAX_PATH, szFull, nullptr);
    if (dwLength == 0)
        return LastErrorOr(ERROR_INVALID_PARAMETER);
    if (dwLength >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    target.path = szFull;
    const size_t nName = target.path.find_last_of(L"\\/") + 1;
    target.folder = target.path.substr(0, nName);
    // A path that ends in a separator names a folder, not a file.
    if (nName == target.path.size())
    {
        const DWORD dwAttributes = ::GetFileAttributesW(szFull);
        const BOOL bFolder = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return bFolder ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

// The folder in the \\?\ form, which the file calls take beyond MAX_PATH: the
// temporary name may need a longer path than FILE. A path in that form, or in
// the device namespace (\\.\), stays as it is.
std::wstring LongPathForm(const std::wstring& folder)
{
    if (folder.compare(0, 4, L"\\\\?\\") == 0 || folder.compare(0, 4, L"\\\\.\\") == 0)
        return folder;
    if (folder.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + folder.substr(2);
    return L"\\\\?\\" + folder;
}

// A new, empty file of a name no other file has, in FILE's folder: a folder
// that is missing, that the user may not write to, or that is no folder at
// all (a device, a pipe) fails here with the system's reason.
DWORD CreateTempFile(const std::wstring& folder, std::wstring& tempPath)
{
    const std::wstring base = LongPathForm(folder);
    for (int nAttempt = 0; nAttempt < kTempFileAttempts; ++nAttempt)
    {
        WCHAR szName[32];
        ::wsprintfW(szName, L"~report-%lX-%d.tmp", ::GetCurrentProcessId(), nAttempt);
        tempPath = base + szName;
        const HANDLE hFile = g_SystemCalls.CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr);
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

// A FILE that exists must be one this process may replace, and a report: a
// folder, a read-only file or a file another program holds open fails with
// the system's reason, and a file that is neither empty nor RTF (a program, a
// driver, a document) with ERROR_FILE_EXISTS. Opened this way it is not changed.
DWORD CheckReplaceable(const std::wstring& path)
{
    const HANDLE hFile = g_SystemCalls.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        const DWORD dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        return dwError == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : dwError;
    }
    char signature[sizeof(kRtfSignature) - 1] = {};
    DWORD dwRead = 0;
    const BOOL bRead = g_SystemCalls.ReadFile(hFile, signature, sizeof(signature), &dwRead, nullptr);
    const DWORD dwReadError = bRead ? ERROR_SUCCESS : LastErrorOr(ERROR_READ_FAULT);
    ::CloseHandle(hFile);
    if (dwReadError != ERROR_SUCCESS)
        return dwReadError;
    const BOOL bReport =
        dwRead == 0 || (dwRead == sizeof(signature) && std::memcmp(signature, kRtfSignature, sizeof(signature)) == 0);
    return bReport ? ERROR_SUCCESS : ERROR_FILE_EXISTS;
}

// Where the report is written first, created and checked before the run, so
// that a target that cannot take it fails at once; the temporary file goes
// again when the check fails.
DWORD PrepareTarget(LPCWSTR pszPath, ReportTarget& target)
{
    DWORD dwError = ResolveTarget(pszPath, target);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    dwError = CreateTempFile(target.folder, target.tempPath);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    dwError = CheckReplaceable(target.path);
    if (dwError != ERROR_SUCCESS)
        ::DeleteFileW(target.tempPath.c_str());
    return dwError;
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

// Whether another program has the file open: it cannot be opened without sharing.
BOOL IsHeldOpen(const std::wstring& path)
{
    const HANDLE hFile = g_SystemCalls.CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(hFile);
    return FALSE;
}

// The temporary file takes FILE's place. A program that opens either of them
// for a moment (a virus scanner, an indexer) makes the move fail: it is tried
// again with short pauses, and after kHeldTargetWaitMs the program holding it
// is named with ERROR_SHARING_VIOLATION. Any other failure ends it at once.
DWORD ReplaceTarget(const ReportTarget& target)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (g_SystemCalls.MoveFileExW(target.tempPath.c_str(), target.path.c_str(), MOVEFILE_REPLACE_EXISTING))
            return ERROR_SUCCESS;
        const DWORD dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        if (!IsHeldOpen(target.path) && !IsHeldOpen(target.tempPath))
            return dwError;
        if (::GetTickCount() - dwStart >= kHeldTargetWaitMs)
            return ERROR_SHARING_VIOLATION;
        g_SystemCalls.Sleep(kHeldTargetPauseMs);
    }
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
    // it gets an answer rather than a dialog that nobody sees.
    if (command.bReport && (bMalformed || command.path.empty()))
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
    DWORD dwError = PrepareTarget(command.path.c_str(), target);
    if (dwError != ERROR_SUCCESS)
        return dwError;

    // The report as "Save Informations" writes it, into the temporary file,
    // which then takes FILE's place.
    CUsbInstallationTestDlg dlg;
    dwError = RunHidden(dlg, command.bSimple);
    if (dwError == ERROR_SUCCESS)
        dwError = SaveReportAsRtf(dlg.m_richLog, target.tempPath.c_str());
    if (dwError == ERROR_SUCCESS)
        dwError = ReplaceTarget(target);
    // Closed as Exit closes it; a run still in progress is cancelled and waited for.
    if (dlg.m_hWnd != nullptr)
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (dwError != ERROR_SUCCESS)
    {
        ::DeleteFileW(target.tempPath.c_str());
        return dwError;
    }
    // The report tells which driver call did not return.
    if (dlg.m_bLastRunGivenUp)
        return ERROR_TIMEOUT;
    return dlg.m_bLastRunSucceeded ? REPORT_EXIT_SUCCEEDED : REPORT_EXIT_FINISHED;
}
