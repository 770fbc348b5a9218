// Hosts the check dialog inside a test process: created modeless from the real
// template, so that the checks can be called directly on this thread or run on
// a second thread while this one serves the report writes.
#pragma once

#include "app/UsbInstallationTestDlg.h"
#include "support/Fixtures.h"

#include <functional>
#include <string>
#include <vector>

struct FormattedRun
{
    std::string text;
    COLORREF crColor;
    bool bBold;
};

class TestDialogHost : NonCopyable
{
public:
    // The dialog stays visible: hiding a top-level window under Wine without a
    // window manager waits two seconds for an unmap that never comes.
    TestDialogHost();
    ~TestDialogHost();

    CUsbInstallationTestDlg& Dialog() { return m_dialog; }
    HWND Hwnd() const { return m_dialog.m_hWnd; }

    void SetDetailed(bool bDetailed) { m_dialog.m_bDetailed.store(bDetailed ? TRUE : FALSE); }
    void ClearReport() { ::SetWindowTextA(m_dialog.m_richLog.m_hWnd, ""); }

    // The report as text, paragraphs ended by "\n".
    std::string ReportText() const { return NormalizeLineEnds(WindowText(m_dialog.m_richLog.m_hWnd)); }
    // From now on keeps every text the report is sent, as it shows it, also
    // what a click empties later or what goes with the window: WrittenText().
    void RecordWrites();
    const std::string& WrittenText() const { return m_written; }
    // The report as runs of equal colour and weight.
    std::vector<FormattedRun> FormattedRuns() const;

    // Runs fn on a second thread, as the check thread would, while this thread
    // carries out its report writes; gives fn's result.
    DWORD RunOnWorker(const std::function<DWORD()>& fn);

    // Clicks a control of the dialog, as a user would.
    void Click(int nID) { ::SendMessageA(::GetDlgItem(Hwnd(), nID), BM_CLICK, 0, 0); }
    bool IsEnabled(int nID) const { return ::IsWindowEnabled(::GetDlgItem(Hwnd(), nID)) != FALSE; }
    std::string Caption(int nID) const { return WindowText(::GetDlgItem(Hwnd(), nID)); }

    // Serves this thread's messages until pred() holds or the time is up.
    bool PumpUntil(const std::function<bool()>& pred, DWORD dwTimeoutMs = kStateWaitMs);
    // Starts a run with the Start button and waits for its end-of-run record.
    bool StartAndWaitForEnd(DWORD dwTimeoutMs = kStateWaitMs);

    // Sets the cancel flag, as closing the dialog would, while the report is
    // being sent the first message that holds text; an empty text removes
    // the watch. The message must be one the view shows.
    void CancelWhenWritten(const std::string& text);

private:
    // The report's writes are watched by a hook on this thread, only while a
    // test needs it: under Wine every hook call costs a trip to the server.
    void Watch();
    static LRESULT CALLBACK WatchReport(int nCode, WPARAM wParam, LPARAM lParam);

    CUsbInstallationTestDlg m_dialog;
    std::string m_cancelText;
    bool m_bRecording = false;
    std::string m_written;
};
