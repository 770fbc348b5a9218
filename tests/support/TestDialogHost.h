// Hosts the check dialog inside a test process: created modeless from the real
// template, driven by clicks and messages while this thread serves it.
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
    HWND Report() const;
    CRichEditCtrl& ReportControl() { return m_report; }

    void ClearReport() { ::SetWindowTextA(Report(), ""); }
    // Switches the dialog to the view as a user does, with Details, and
    // empties the report of the run that the switch starts (on an empty
    // device table). False when that run did not end.
    bool SetDetailed(bool bDetailed);

    // The report as text, paragraphs ended by "\n", its footer masked.
    std::string ReportText() const;
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
    // Starts a run with the Start button and waits until Start is back.
    bool StartAndWaitForEnd(DWORD dwTimeoutMs = kStateWaitMs);

private:
    // The report's writes are watched by a hook on this thread, only while a
    // test needs it: under Wine every hook call costs a trip to the server.
    void Watch();
    static LRESULT CALLBACK WatchReport(int nCode, WPARAM wParam, LPARAM lParam);

    CUsbInstallationTestDlg m_dialog;
    CRichEditCtrl m_report;
    bool m_bRecording = false;
    std::string m_written;
};
