#include "app/RunThread.h"

#include "framework/SystemCalls.h"
#include "framework/ThreadWait.h"

IMPLEMENT_DYNAMIC(CRunThread, CObject)

namespace
{
// While a run's thread lives, its driver call is looked at this often, by the
// owner's timer or by a closing wait.
const DWORD kRunWatchIntervalMs = 250;
} // namespace

CRunThread::~CRunThread()
{
    if (m_hThread == nullptr)
        return;
    if (!m_bGivenUp)
        ::WaitForSingleObject(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
}

BOOL CRunThread::Start(HWND hwndOwner, CReportWriter& report)
{
    m_hwndOwner = hwndOwner;
    m_pReport = &report;
    DWORD dwThreadId;
    const HANDLE hThread =
        g_SystemCalls.CreateThread(nullptr, 0, CheckThreadProc, static_cast<CObject*>(this), 0, &dwThreadId);
    if (hThread == nullptr)
        return FALSE;
    // The last run's thread has handed its run back and only leaves; it may
    // still be in its hand-over, if this run starts from there.
    if (m_hThread != nullptr)
        ::CloseHandle(m_hThread);
    m_hThread = hThread;
    m_bRunning = TRUE;
    ::SetTimer(m_hwndOwner, kRunWatchTimer, kRunWatchIntervalMs, nullptr);
    return TRUE;
}

RunOutcome CRunThread::TakeBack(WPARAM wParam)
{
    m_bRunning = FALSE;
    ::KillTimer(m_hwndOwner, kRunWatchTimer);
    return static_cast<RunOutcome>(wParam);
}

// A driver call out too long is given up; the thread of a run given up on is
// watched until its call has returned and it has ended.
RunWatch CRunThread::Watch()
{
    if (GiveUpStuckCall())
        return RUN_WATCH_GAVE_UP;
    if (!m_bGivenUp || ::WaitForSingleObject(m_hThread, 0) != WAIT_OBJECT_0)
        return RUN_WATCH_NOTHING;
    m_bGivenUp = FALSE;
    ::KillTimer(m_hwndOwner, kRunWatchTimer);
    return RUN_WATCH_THREAD_ENDED;
}

// A run is cancelled and waited for even without a cancel event: the process
// may end, and unload the driver library the run is in, once its owner has
// gone. Its hand-over is served during the wait.
void CRunThread::CancelAndWait()
{
    if (m_hThread == nullptr)
        return;
    if (m_bRunning)
    {
        m_pRun->Cancel();
        WaitForThreadServingSentMessages(m_hThread, kRunWatchIntervalMs, [this] { return GiveUpStuckCall(); });
    }
    ::KillTimer(m_hwndOwner, kRunWatchTimer);
}

// The run's driver call, if it has been out kDriverCallBoundMs, is given up:
// the report gets the error naming it and the run's end, written here on the
// window thread, and the run counts as ended. Its thread, should the call
// return, writes nothing more.
BOOL CRunThread::GiveUpStuckCall()
{
    if (!m_bRunning || !m_pRun->GiveUpStuckCall(*m_pReport))
        return FALSE;
    m_bRunning = FALSE;
    m_bGivenUp = TRUE;
    return TRUE;
}

DWORD WINAPI CheckThreadProc(LPVOID pParam)
{
    CObject* pObject = static_cast<CObject*>(pParam);
    if (pObject == nullptr || !pObject->IsKindOf(RUNTIME_CLASS(CRunThread)))
        return ERROR_INVALID_PARAMETER;
    const CRunThread& thread = *static_cast<CRunThread*>(pObject);
    const std::shared_ptr<CCheckRun> pRun = thread.m_pRun;
    const HWND hwndOwner = thread.m_hwndOwner;
    const RunOutcome outcome = pRun->Run(*thread.m_pReport);
    // The window thread has written the run's end, and the owner may be
    // gone: nothing of it is touched.
    if (outcome == RUN_GIVEN_UP)
        return outcome;
    // Synchronous, like every report write: the run is in progress until the
    // window thread has taken it back, and a closing owner waits for it.
    g_SystemCalls.SendMessageA(hwndOwner, WM_APP_RUN_ENDED, outcome, 0);
    return outcome;
}
