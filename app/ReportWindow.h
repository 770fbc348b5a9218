// The report command's window: a top-level window that is never shown nor
// activated, with a rich edit control of its own, in which one check run
// writes its report as it would in the check dialog's.
#pragma once

#include "app/RunThread.h"
#include "framework/RichEditCtrl.h"
#include "report/ReportFile.h"

// The window's class, by which other programs find it.
extern const char kReportWindowClass[];

class CReportWindow : public CRunWindow
{
public:
    // file: the report's temporary file, deleted when the session ends.
    explicit CReportWindow(CReportFile& file) : CRunWindow(FALSE), m_file(file) {}
    ~CReportWindow();
    CReportWindow(const CReportWindow&) = delete;
    CReportWindow& operator=(const CReportWindow&) = delete;

    // 0, or the system's reason why the window could not be made.
    DWORD Create();
    // Carries out one run on a thread of its own in the view given, serving
    // this thread's messages until the run has ended (outcome). The window
    // closed meanwhile, or the session ended, cancels the run and gives
    // ERROR_CANCELLED; a thread that cannot start gives the system's reason.
    DWORD Run(BOOL bDetailed, RunOutcome& outcome);
    CRichEditCtrl& Report() { return m_richLog; }

    // Called on the run's thread as well as the window's.
    void WriteLog(LPCSTR pszText, UINT nKind) override { WriteLogOnWindowThread(pszText, nKind); }

protected:
    HWND WindowHandle() const override { return m_hWnd; }
    void OnWriteLog(LPCSTR pszText, UINT nKind) override;
    void OnRunEnded(RunOutcome outcome) override;
    void OnEndSession() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);

    CReportFile& m_file;
    HWND m_hWnd = nullptr;
    HFONT m_hFont = nullptr;
    CRichEditCtrl m_richLog;
    BOOL m_bDetailed = TRUE;
    BOOL m_bRunEnded = FALSE;
    RunOutcome m_outcome = RUN_FINISHED;
    // The window was closed, or the session ended: no report.
    BOOL m_bClosed = FALSE;
};
