// Drives the real UsbInstallationTest.exe through window messages, as a user
// (or a support engineer's script) would: clicks, button states, captions and
// the report's text, read across the process boundary.
#pragma once

#include "support/Fixtures.h"

#include <windows.h>

#include <functional>
#include <string>

class UiHarness : NonCopyable
{
public:
    // Starts the product from pszCurrentDir (the build folder when null) with
    // this process's environment and the arguments, and waits for its dialog,
    // or the hidden window of /report (Dialog() then), or for the process's end.
    explicit UiHarness(const char* pszCurrentDir = nullptr, const std::string& exePath = std::string(),
                       const std::string& arguments = std::string());
    ~UiHarness();

    bool Started() const { return m_hwndDialog != nullptr; }
    HWND Dialog() const { return m_hwndDialog; }
    HWND Control(int nID) const { return ::GetDlgItem(m_hwndDialog, nID); }
    HANDLE Process() const { return m_process.hProcess; }
    DWORD ProcessId() const { return m_process.dwProcessId; }

    // Clicks and returns when the dialog has handled the click.
    void Click(int nID);
    bool IsEnabled(int nID) const { return ::IsWindowEnabled(Control(nID)) != FALSE; }
    std::string Caption(int nID) const;
    // The report, paragraphs ended by "\n", its footer masked (MaskFooter).
    std::string ReportText() const;
    // The ID of the control with the keyboard focus, 0 for none. A dialog that
    // another program's window has deactivated is brought back first, as a
    // user returning to it would: only the active window's thread has a focus,
    // and it has it once the dialog manager has given it back.
    int FocusedControl() const;

    bool WaitUntil(const std::function<bool()>& pred, DWORD dwTimeoutMs = kStateWaitMs) const
    {
        return PollUntil(::GetTickCount() + dwTimeoutMs, pred);
    }
    // Clicks Start and waits for the end of the run: Start enabled again and
    // the closing rule in the report.
    bool StartAndWaitForEnd(DWORD dwTimeoutMs = kStateWaitMs);
    bool RunEnded() const;

    // Asks the dialog to close; true when the process ended within the time.
    bool Close(DWORD dwTimeoutMs = kStateWaitMs);
    bool WaitForExit(DWORD dwTimeoutMs) const
    {
        return ::WaitForSingleObject(m_process.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
    }
    // What Windows sends when the session ends during a run whose instrument
    // is held at its open: WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE,
    // lParam) from a thread of its own. The handler must not return while
    // the open is still held (the run is still in the driver); then the hold
    // is let go. Empty once the handler has returned (Windows may end the
    // process from then on), else what went wrong.
    std::string EndSessionDuringARun(LPARAM lParam, DeviceHold& heldOpen);
    // The process's exit code; STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    // The process's top-level windows that are visible now.
    int VisibleWindows() const;

private:
    PROCESS_INFORMATION m_process = {};
    HWND m_hwndDialog = nullptr;
};

// "(x, y) width x height"
std::string Describe(const RECT& rc);
// The places of the report and the four buttons, as a dialog has them, and as
// the size rule puts them: the report at (12, 13), 476 wide and 80 less high
// than the client area, the buttons in one row at yButtons; each figure but
// the two given scaled from 96 DPI to nDpi.
std::string LayoutOf(HWND hwndDialog);
std::string ExpectedLayout(LONG nClientHeight, LONG yButtons, int nDpi = 96);
// A figure of the layout at 96 DPI, at nDpi.
LONG AtDpi(LONG nPixels, int nDpi);

// The dialog as it opens, in this process or another: captions, button states
// and styles, an empty report first in the tab order, and the first layout.
void ExpectOpenedState(HWND hwndDialog);
// Outer sizes that break the size rule are mended to a client area 500 wide
// and at least 300 high, the controls following; a maximize lays them out for
// the maximized height, and a minimize and restore bring back the size before.
// The figures are those at 96 DPI, scaled to nDpi.
void ExpectSizeRule(HWND hwndDialog, const WaitFn& waitUntil, int nDpi = 96);

// Runs the product (the 32-bit program unless exePath names another) with
// the arguments from pszCurrentDir (the build folder when null) and waits for
// its end: its exit code, or STILL_ACTIVE when it did not end in time (it is
// then ended).
DWORD RunToEnd(const std::string& arguments, const char* pszCurrentDir = nullptr, DWORD dwTimeoutMs = 120000,
               const std::string& exePath = std::string());
