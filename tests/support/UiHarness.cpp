#include "support/UiHarness.h"

#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

const char kDialogCaption[] = "QUELM - USB Installation and Communication Check";

namespace
{
bool StartProduct(const std::string& arguments, const char* pszCurrentDir, const std::string& exePath,
                  PROCESS_INFORMATION& process)
{
    const std::string exe = exePath.empty() ? BuildDir() + "\\UsbInstallationTest.exe" : exePath;
    const std::string currentDir = pszCurrentDir != nullptr ? pszCurrentDir : BuildDir();
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, currentDir.c_str(),
                         &startup, &process))
    {
        return true;
    }
    process = PROCESS_INFORMATION();
    return false;
}

} // namespace

UiHarness::UiHarness(const char* pszCurrentDir, const std::string& exePath, const std::string& arguments)
{
    if (!StartProduct(arguments, pszCurrentDir, exePath, m_process))
        return;
    WaitUntil([this] {
        // The stored caption: no message to a process that may be busy starting.
        for (const HWND hwnd : WindowsOf(m_process.dwProcessId))
        {
            char szCaption[128] = {};
            ::GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
            if (std::string(szCaption) == kDialogCaption)
                m_hwndDialog = hwnd;
        }
        // Ready once the dialog has placed and captioned its buttons.
        return (m_hwndDialog != nullptr && Caption(IDC_BUTTON_START) == "Start Check Routine") || WaitForExit(0);
    });
}

UiHarness::~UiHarness()
{
    if (m_process.hProcess == nullptr)
        return;
    if (!WaitForExit(0) && !Close(60000))
        ::TerminateProcess(m_process.hProcess, 1);
    ::CloseHandle(m_process.hThread);
    ::CloseHandle(m_process.hProcess);
}

void UiHarness::Click(int nID)
{
    DWORD_PTR dwIgnored = 0;
    ::SendMessageTimeoutA(Control(nID), BM_CLICK, 0, 0, SMTO_NORMAL, 60000, &dwIgnored);
}

void UiHarness::PostClick(int nID)
{
    ::PostMessageA(Control(nID), BM_CLICK, 0, 0);
}

bool UiHarness::IsEnabled(int nID) const
{
    return ::IsWindowEnabled(Control(nID)) != FALSE;
}

std::string UiHarness::Caption(int nID) const
{
    return WindowText(Control(nID));
}

std::string UiHarness::ReportText() const
{
    return NormalizeLineEnds(WindowText(Control(IDC_RICHEDIT_LOG)));
}

RECT UiHarness::ClientRect() const
{
    RECT rc = {};
    ::GetClientRect(m_hwndDialog, &rc);
    return rc;
}

bool UiHarness::WaitUntil(const std::function<bool()>& pred, DWORD dwTimeoutMs) const
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (pred())
            return true;
        if (::GetTickCount() - dwStart >= dwTimeoutMs)
            return false;
        ::Sleep(10);
    }
}

bool UiHarness::RunEnded() const
{
    return IsEnabled(IDC_BUTTON_START) && Contains(ReportText(), kRule);
}

bool UiHarness::StartAndWaitForEnd(DWORD dwTimeoutMs)
{
    Click(IDC_BUTTON_START);
    return WaitUntil([this] { return RunEnded(); }, dwTimeoutMs);
}

bool UiHarness::Close(DWORD dwTimeoutMs)
{
    ::PostMessageA(m_hwndDialog, WM_CLOSE, 0, 0);
    return WaitForExit(dwTimeoutMs);
}

bool UiHarness::WaitForExit(DWORD dwTimeoutMs) const
{
    return ::WaitForSingleObject(m_process.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
}

DWORD UiHarness::ExitCode() const
{
    DWORD dwExitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.hProcess, &dwExitCode);
    return dwExitCode;
}

int UiHarness::VisibleWindows() const
{
    const std::vector<HWND> windows = WindowsOf(m_process.dwProcessId);
    return static_cast<int>(std::count_if(windows.begin(), windows.end(), ::IsWindowVisible));
}

DWORD RunToEnd(const std::string& arguments, const char* pszCurrentDir, DWORD dwTimeoutMs)
{
    PROCESS_INFORMATION process = {};
    if (!StartProduct(arguments, pszCurrentDir, std::string(), process))
        return STILL_ACTIVE;
    DWORD dwExitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(process.hProcess, dwTimeoutMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &dwExitCode);
    else
        ::TerminateProcess(process.hProcess, STILL_ACTIVE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return dwExitCode;
}

std::string Describe(const RECT& rc)
{
    char sz[96];
    std::snprintf(sz, sizeof(sz), "(%ld, %ld) %ld x %ld", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    return sz;
}

namespace
{
const struct
{
    int nID;
    const char* pszName;
    LONG x;
    LONG nWidth;
} kButtonPlaces[] = {{IDC_BUTTON_START, "Start", 20, 120},
                     {IDC_BUTTON_DETAILS, "Details", 170, 75},
                     {IDC_BUTTON_SAVE, "Save", 265, 110},
                     {IDCANCEL, "Exit", 405, 75}};
} // namespace

std::string LayoutOf(HWND hwndDialog)
{
    const auto clientOrigin = [hwndDialog] {
        POINT pt = {0, 0};
        ::ClientToScreen(hwndDialog, &pt);
        return pt;
    };
    const auto placeOf = [hwndDialog](int nID) {
        RECT rc = {};
        ::GetWindowRect(::GetDlgItem(hwndDialog, nID), &rc);
        ::MapWindowPoints(nullptr, hwndDialog, reinterpret_cast<POINT*>(&rc), 2);
        return Describe(rc);
    };
    // The places are read on screen; a dialog of another process may still be
    // moving (to its maximized place, say), so read them until it stood still.
    std::string layout;
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        const POINT ptBefore = clientOrigin();
        layout = "report " + placeOf(IDC_RICHEDIT_LOG);
        for (const auto& button : kButtonPlaces)
            layout += std::string(", ") + button.pszName + " " + placeOf(button.nID);
        const POINT ptAfter = clientOrigin();
        if (ptBefore.x == ptAfter.x && ptBefore.y == ptAfter.y)
            break;
        ::Sleep(10);
    }
    return layout;
}

std::string ExpectedLayout(LONG nClientHeight, LONG yButtons)
{
    std::string layout = "report " + Describe({12, 13, 12 + 476, 13 + nClientHeight - 80});
    for (const auto& button : kButtonPlaces)
    {
        layout += std::string(", ") + button.pszName + " " +
                  Describe({button.x, yButtons, button.x + button.nWidth, yButtons + 23});
    }
    return layout;
}
