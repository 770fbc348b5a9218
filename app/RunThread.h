// A check run on a thread of its own, for a window that shows what it writes:
// the check dialog and the report command's window each own one. The window
// is the run's report; the thread reaches it only through messages sent to
// the window's thread, which the window serves also while it waits for the
// thread's end.
#pragma once

#include "checks/CheckRun.h"
#include "framework/Object.h"

#include <memory>

// Sent by the run's thread once its run has ended: wParam is the RunOutcome.
const UINT WM_APP_RUN_ENDED = WM_APP + 1;
// Sent by the owner's WriteLog on the run's thread: wParam is the kind,
// lParam the text.
const UINT WM_APP_WRITE_LOG = WM_APP + 2;
// The owner's timer that calls Watch while the run's thread lives; the check
// dialog's report repaints by timer 1.
const UINT_PTR kRunWatchTimer = 2;

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
    // WM_APP_RUN_ENDED, and hwndOwner's kRunWatchTimer. FALSE, with the
    // system's reason as the last error, when the thread could not start.
    BOOL Start(HWND hwndOwner, CReportWriter& report);
    // Started, and neither handed back nor given up.
    BOOL IsRunning() const { return m_bRunning; }
    // Given up, and its thread not yet seen to end: no run may start, since
    // the thread may still be in the driver library that a run loads.
    BOOL IsInGivenUpCall() const { return m_bGivenUp; }

    // The owner's WM_APP_RUN_ENDED: the run has ended with the outcome given.
    RunOutcome TakeBack(WPARAM wParam);
    // The owner's kRunWatchTimer.
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
