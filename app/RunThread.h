// A check run on a thread of its own, for a window that shows what it writes:
// the check dialog and the report command's window are each a CRunWindow. The
// window is the run's report; the thread reaches it only through messages
// sent to the window's thread, which the window serves also while it waits
// for the thread's end.
#pragma once

#include "app/AppMessages.h"
#include "checks/CheckRun.h"
#include "framework/Object.h"

#include <memory>

// What a look at the run by Watch found.
enum RunWatch
{
    RUN_WATCH_NOTHING,
    // A driver call was out kDriverCallBoundMs: the report ends with the
    // error naming it, and the run has ended with its thread still in the call.
    RUN_WATCH_GAVE_UP,
    // The thread of a run given up on has come back from the driver and ended.
    RUN_WATCH_THREAD_ENDED,
};

class CRunThread : public CObject
{
    DECLARE_DYNAMIC(CRunThread)

public:
    CRunThread() = default;
    // A thread that has handed its run back only leaves and is waited for;
    // one still in a driver call that was given up on holds the run, with its
    // library and the events the driver may still signal, and is not.
    ~CRunThread() override;
    CRunThread(const CRunThread&) = delete;
    CRunThread& operator=(const CRunThread&) = delete;

    // No run in progress nor a thread in a given-up call: starts the run on a
    // thread that writes to report and hands the run back to hwndOwner with
    // WM_APP_RUN_ENDED, and hwndOwner's TIMER_RUN_WATCH. FALSE, with the
    // system's reason as the last error, when the thread could not start.
    BOOL Start(HWND hwndOwner, CReportWriter& report);
    // Started, and neither handed back nor given up.
    BOOL IsRunning() const { return m_bRunning; }
    // Given up, and its thread not yet seen to end: no run may start, since
    // the thread may still be in the driver library that a run loads.
    BOOL IsInGivenUpCall() const { return m_bGivenUp; }
    // In this process: the process must not end normally while one is out.
    static LONG GivenUpCallsOut() { return CCheckRun::GivenUpCallsOut(); }

    // The owner's WM_APP_RUN_ENDED: the run has ended with the outcome given.
    RunOutcome TakeBack(WPARAM wParam);
    // The owner's TIMER_RUN_WATCH.
    RunWatch Watch();
    // Cancels a run in progress and waits for its thread to end while
    // serving the messages it sends; a driver call out kDriverCallBoundMs is
    // given up, and the wait with it. The watch ends.
    void CancelAndWait();

private:
    friend DWORD WINAPI CheckThreadProc(LPVOID pParam);
    BOOL GiveUpStuckCall();

    const std::shared_ptr<CCheckRun> m_pRun = std::make_shared<CCheckRun>();
    HWND m_hwndOwner = nullptr;
    CReportWriter* m_pReport = nullptr;
    // The last run's thread, until the next run starts.
    HANDLE m_hThread = nullptr;
    BOOL m_bRunning = FALSE;
    BOOL m_bGivenUp = FALSE;
};

// The run's thread: its parameter is the CRunThread that started it. Gives
// the RunOutcome.
DWORD WINAPI CheckThreadProc(LPVOID pParam);

// A window that runs checks and is their report: the run's writes from its
// thread, its hand-over, the watch of its driver calls, the closing and the
// end of the session, for whichever window derives from it. The window says
// what each means to it through the On... members, on its own thread.
class CRunWindow : public CReportWriter
{
protected:
    // bNestedCloseWaits: see CancelRunAndWait.
    explicit CRunWindow(BOOL bNestedCloseWaits) : m_bNestedCloseWaits(bNestedCloseWaits) {}
    ~CRunWindow() = default;

    // The window's WriteLog, from any thread: the line goes to OnWriteLog on
    // the window's thread.
    void WriteLogOnWindowThread(LPCSTR pszText, UINT nKind);
    // The run's messages to the window: its writes and hand-over, the watch
    // timer, the end of the session. TRUE, with the result, for one of them.
    BOOL OnRunMessage(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // CRunThread::Start for this window.
    BOOL StartRun() { return m_runThread.Start(WindowHandle(), *this); }
    BOOL IsRunning() const { return m_runThread.IsRunning(); }
    BOOL IsInGivenUpCall() const { return m_runThread.IsInGivenUpCall(); }
    // From the first CancelRunAndWait on.
    BOOL IsClosing() const { return m_bClosing; }
    // The window's closing, and the session's end: a run in progress is
    // cancelled and waited for (CRunThread::CancelAndWait).
    void CancelRunAndWait();

    virtual HWND WindowHandle() const = 0;
    // The line, into the window's report.
    virtual void OnWriteLog(LPCSTR pszText, UINT nKind) = 0;
    // The run has ended, handed back or given up on.
    virtual void OnRunEnded(RunOutcome outcome) = 0;
    // The thread of a run given up on has come back from the driver and ended.
    virtual void OnRunThreadEnded() {}
    // The session ends: called before the run is cancelled and waited for.
    virtual void OnEndSession() = 0;

private:
    CRunThread m_runThread;
    const BOOL m_bNestedCloseWaits;
    BOOL m_bClosing = FALSE;
};
