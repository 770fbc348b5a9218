#include "support/SaveDialog.h"

#include "res/resource.h"
#include "support/Fixtures.h"

#include <dlgs.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace
{
const DWORD kMessageTimeoutMs = 30000;

std::string ClassOf(HWND hwnd)
{
    char szClass[64] = {};
    ::GetClassNameA(hwnd, szClass, sizeof(szClass));
    return szClass;
}

// A visible dialog of the process other than hwndExclude that pred accepts.
HWND FindDialog(DWORD dwProcessId, HWND hwndExclude, const std::function<bool(HWND)>& pred)
{
    for (const HWND hwnd : WindowsOf(dwProcessId))
    {
        if (hwnd != hwndExclude && ::IsWindowVisible(hwnd) && ClassOf(hwnd) == "#32770" && pred(hwnd))
            return hwnd;
    }
    return nullptr;
}

HWND FileNameEdit(HWND hwndDialog)
{
    HWND hwndField = ::GetDlgItem(hwndDialog, cmb13);
    if (hwndField == nullptr)
        return ::GetDlgItem(hwndDialog, edt1);
    if (ClassOf(hwndField) == "ComboBoxEx32")
        hwndField = ::FindWindowExA(hwndField, nullptr, "ComboBox", nullptr);
    return hwndField != nullptr ? ::FindWindowExA(hwndField, nullptr, "Edit", nullptr) : nullptr;
}

std::vector<HWND> ChildrenOf(HWND hwndParent, const char* pszClass)
{
    std::vector<HWND> children;
    for (HWND hwnd = nullptr; (hwnd = ::FindWindowExA(hwndParent, hwnd, pszClass, nullptr)) != nullptr;)
        children.push_back(hwnd);
    return children;
}

// The dialog button with the ID, not another child that shares it (a toolbar).
HWND ButtonOf(HWND hwndDialog, int nID)
{
    for (const HWND hwnd : ChildrenOf(hwndDialog, "Button"))
    {
        if (::GetDlgCtrlID(hwnd) == nID)
            return hwnd;
    }
    return nullptr;
}

// Through the wide messages: across processes, Wine's CB_GETLBTEXT sent with
// SendMessageTimeoutA to the dialog's Unicode combo box corrupts the heap of
// the sender; the wide form does not.
std::vector<std::string> ComboEntries(HWND hwndCombo)
{
    std::vector<std::string> entries;
    DWORD_PTR dwCount = 0;
    if (hwndCombo == nullptr ||
        !::SendMessageTimeoutW(hwndCombo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, kMessageTimeoutMs, &dwCount))
        return entries;
    for (DWORD_PTR i = 0; i < dwCount && static_cast<LONG_PTR>(dwCount) != CB_ERR; ++i)
    {
        DWORD_PTR dwLength = 0;
        ::SendMessageTimeoutW(hwndCombo, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, kMessageTimeoutMs, &dwLength);
        if (static_cast<LONG_PTR>(dwLength) == CB_ERR)
            dwLength = 0;
        std::vector<WCHAR> buffer(dwLength + 1, L'\0');
        DWORD_PTR dwCopied = 0;
        ::SendMessageTimeoutW(hwndCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL,
                              kMessageTimeoutMs, &dwCopied);
        buffer.back() = L'\0';
        char szEntry[1024] = {};
        ::WideCharToMultiByte(CP_ACP, 0, buffer.data(), -1, szEntry, sizeof(szEntry) - 1, nullptr, nullptr);
        entries.push_back(szEntry);
    }
    return entries;
}

std::string StaticTexts(HWND hwndDialog)
{
    std::string text;
    for (const HWND hwnd : ChildrenOf(hwndDialog, "Static"))
    {
        if ((::GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            text += WindowText(hwnd);
    }
    return text;
}

// The system icon a box of this process shows: icons are loaded once per
// process, so only this process's handles compare.
std::string IconOf(HWND hwndBox)
{
    for (const HWND hwnd : ChildrenOf(hwndBox, "Static"))
    {
        if ((::GetWindowLongA(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            continue;
        const HICON hIcon = reinterpret_cast<HICON>(::SendMessageA(hwnd, STM_GETICON, 0, 0));
        return hIcon == ::LoadIconA(nullptr, IDI_WARNING) ? " (warning icon)" : " (another icon)";
    }
    return "";
}

// Waits for a save dialog of the process (a visible top-level dialog with a
// file-name field, not hwndExclude), follows the script and waits until the
// dialog has closed.
SaveDialogSeen DriveSaveDialog(DWORD dwProcessId, HWND hwndExclude, const SaveDialogScript& script,
                               DWORD dwTimeoutMs = 60000)
{
    SaveDialogSeen seen;
    const DWORD dwDeadline = ::GetTickCount() + dwTimeoutMs;

    HWND hwndDialog = nullptr;
    HWND hwndEdit = nullptr;
    HWND hwndSave = nullptr;
    seen.bFound = PollUntil(dwDeadline, [&] {
        // The file-name field: a combo box (cmb13) in the Explorer style, an
        // edit (edt1) in the old one.
        hwndDialog = FindDialog(dwProcessId, hwndExclude, [](HWND hwnd) {
            return ::GetDlgItem(hwnd, cmb13) != nullptr || ::GetDlgItem(hwnd, edt1) != nullptr;
        });
        hwndEdit = hwndDialog != nullptr ? FileNameEdit(hwndDialog) : nullptr;
        hwndSave = hwndDialog != nullptr ? ButtonOf(hwndDialog, IDOK) : nullptr;
        return hwndEdit != nullptr && hwndSave != nullptr && ::IsWindowVisible(hwndSave);
    });
    if (!seen.bFound)
    {
        seen.problem = "no save dialog appeared";
        return seen;
    }

    seen.hwndOwner = ::GetWindow(hwndDialog, GW_OWNER);
    const HWND hwndFilter = ::GetDlgItem(hwndDialog, cmb1);
    seen.filterEntries = ComboEntries(hwndFilter);
    DWORD_PTR dwSelected = static_cast<DWORD_PTR>(CB_ERR);
    ::SendMessageTimeoutA(hwndFilter, CB_GETCURSEL, 0, 0, SMTO_NORMAL, kMessageTimeoutMs, &dwSelected);
    seen.nFilterSelected = static_cast<int>(static_cast<LONG_PTR>(dwSelected));
    seen.initialFileName = WindowText(hwndEdit);
    const HWND hwndReadOnly = ::GetDlgItem(hwndDialog, chx1);
    seen.bReadOnlyBoxVisible = hwndReadOnly != nullptr && ::IsWindowVisible(hwndReadOnly);

    if (script.whileOpen)
        script.whileOpen();
    if (!script.fileName.empty())
    {
        // Wide, as a user types it: a name outside the ANSI code page stays whole.
        const std::wstring fileName = Wide(script.fileName);
        DWORD_PTR dwIgnored = 0;
        ::SendMessageTimeoutW(hwndEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fileName.c_str()), SMTO_NORMAL,
                              kMessageTimeoutMs, &dwIgnored);
        WCHAR szTyped[MAX_PATH + 1] = {};
        ::SendMessageTimeoutW(hwndEdit, WM_GETTEXT, MAX_PATH + 1, reinterpret_cast<LPARAM>(szTyped), SMTO_NORMAL,
                              kMessageTimeoutMs, &dwIgnored);
        seen.bNameTyped = fileName == szTyped;
        if (!seen.bNameTyped)
            seen.problem = "the file-name field did not take the name";
    }
    // Posted: the click runs the overwrite question modally inside the dialog.
    ::PostMessageA(script.bCancel ? ButtonOf(hwndDialog, IDCANCEL) : hwndSave, BM_CLICK, 0, 0);

    HWND hwndQuestion = nullptr;
    bool bAnswered = false;
    seen.bClosed = PollUntil(dwDeadline, [&] {
        if (!::IsWindow(hwndDialog))
            return true;
        if (bAnswered)
            return false;
        hwndQuestion =
            FindDialog(dwProcessId, hwndDialog, [&](HWND hwnd) { return ::GetWindow(hwnd, GW_OWNER) == hwndDialog; });
        if (hwndQuestion == nullptr || ButtonOf(hwndQuestion, IDYES) == nullptr)
            return false;
        seen.bOverwriteAsked = true;
        seen.overwriteText = StaticTexts(hwndQuestion);
        const int nAnswer = script.nOverwriteAnswer != 0 ? script.nOverwriteAnswer : IDNO;
        if (script.nOverwriteAnswer == 0)
            seen.problem = "an overwrite question came unexpectedly";
        ::PostMessageA(ButtonOf(hwndQuestion, nAnswer), BM_CLICK, 0, 0);
        if (nAnswer == IDNO)
        {
            // The dialog stays open for another name: leave it.
            PollUntil(dwDeadline, [&] { return !::IsWindow(hwndQuestion); });
            ::PostMessageA(ButtonOf(hwndDialog, IDCANCEL), BM_CLICK, 0, 0);
        }
        bAnswered = true;
        return false;
    });
    if (!seen.bClosed && seen.problem.empty())
        seen.problem = "the save dialog did not close";
    return seen;
}
} // namespace

SaveDialogSeen SaveFromProduct(DWORD dwProcessId, HWND hwndDialog, const SaveDialogScript& script)
{
    ::PostMessageA(::GetDlgItem(hwndDialog, IDC_BUTTON_SAVE), BM_CLICK, 0, 0);
    const SaveDialogSeen seen = DriveSaveDialog(dwProcessId, hwndDialog, script);
    DWORD_PTR dwIgnored = 0;
    ::SendMessageTimeoutA(hwndDialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &dwIgnored);
    return seen;
}

SaveDialogDriverThread::SaveDialogDriverThread(HWND hwndExclude, SaveDialogScript script)
    : m_hwndExclude(hwndExclude),
      m_script(std::move(script)),
      m_hThread(::CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr))
{
}

SaveDialogDriverThread::~SaveDialogDriverThread()
{
    Result();
}

const SaveDialogSeen& SaveDialogDriverThread::Result()
{
    ::InterlockedExchange(&m_nStop, 1);
    if (m_hThread != nullptr)
    {
        // The driver may still be sending to windows of this thread.
        while (::MsgWaitForMultipleObjects(1, &m_hThread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1)
        {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return m_seen;
}

const std::vector<std::string>& SaveDialogDriverThread::WindowsShownAfterwards()
{
    Result();
    return m_shownAfterwards;
}

DWORD WINAPI SaveDialogDriverThread::ThreadProc(LPVOID pParam)
{
    SaveDialogDriverThread* pThis = static_cast<SaveDialogDriverThread*>(pParam);
    pThis->m_seen = DriveSaveDialog(::GetCurrentProcessId(), pThis->m_hwndExclude, pThis->m_script);
    while (pThis->m_nStop == 0)
    {
        const HWND hwndFound = FindDialog(::GetCurrentProcessId(), pThis->m_hwndExclude, [](HWND) { return true; });
        if (hwndFound != nullptr)
        {
            const std::string owner =
                ::GetWindow(hwndFound, GW_OWNER) == pThis->m_hwndExclude ? "" : " (not owned by the dialog)";
            pThis->m_shownAfterwards.push_back(WindowText(hwndFound) + ": " + StaticTexts(hwndFound) +
                                               IconOf(hwndFound) + owner);
            ::PostMessageA(hwndFound, WM_COMMAND, IDCANCEL, 0);
            ::PostMessageA(hwndFound, WM_COMMAND, IDOK, 0);
            PollUntil(::GetTickCount() + 30000, [&] { return !::IsWindow(hwndFound); });
        }
        ::Sleep(10);
    }
    return 0;
}

std::string DescribeSaveDialog(const SaveDialogSeen& seen)
{
    std::ostringstream text;
    text << "save dialog: found " << seen.bFound << ", owner " << seen.hwndOwner << ", filters {";
    for (const std::string& entry : seen.filterEntries)
        text << " \"" << entry << "\"";
    text << " }, selected " << seen.nFilterSelected << ", initial name \"" << seen.initialFileName
         << "\", read-only box visible " << seen.bReadOnlyBoxVisible << ", name typed " << seen.bNameTyped
         << ", overwrite asked " << seen.bOverwriteAsked << " (\"" << seen.overwriteText << "\"), closed "
         << seen.bClosed;
    if (!seen.problem.empty())
        text << ", problem: " << seen.problem;
    return text.str();
}

void ExpectReportSaveDialog(const SaveDialogSeen& seen)
{
    const std::vector<std::string> kFilters = {"Text Files (*.rtf)", "All Files (*.*)"};
    EXPECT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.filterEntries, kFilters) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.nFilterSelected, 0) << DescribeSaveDialog(seen);
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD cchComputer = sizeof(szComputer);
    ::GetComputerNameA(szComputer, &cchComputer);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char szName[64];
    wsprintfA(szName, "UsbInstallationTest-%s-%04u-%02u-%02u.rtf", szComputer, now.wYear, now.wMonth, now.wDay);
    EXPECT_EQ(seen.initialFileName, szName) << DescribeSaveDialog(seen);
    EXPECT_FALSE(seen.bReadOnlyBoxVisible) << DescribeSaveDialog(seen);
}

std::string SaveFailureMessage(const std::string& path, DWORD dwCode)
{
    char szCode[32];
    wsprintfA(szCode, "0x%08X (%u)", static_cast<unsigned>(dwCode), static_cast<unsigned>(dwCode));
    const std::string systemText = ReportedSystemText(dwCode);
    return "The report could not be saved as\n" + path + "\n\n" + szCode +
           (systemText.empty() ? std::string() : "\n\t" + systemText);
}
