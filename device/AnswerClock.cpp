#include "device/AnswerClock.h"

#include "framework/SystemCalls.h"

// The clock waits with the system's calls: the seam's wait is the run's,
// which tests steer.

namespace
{
void CloseIfOpen(HANDLE& h)
{
    if (h != nullptr)
        ::CloseHandle(h);
    h = nullptr;
}
} // namespace

CAnswerClock::~CAnswerClock()
{
    EndWatch(0);
}

// Stops the watch and releases it; dwError is why the clock has none (0: it ended).
void CAnswerClock::EndWatch(DWORD dwError)
{
    if (m_hWatch != nullptr)
    {
        ::SetEvent(m_hAnswered);
        ::WaitForSingleObject(m_hWatch, INFINITE);
    }
    CloseIfOpen(m_hWatch);
    CloseIfOpen(m_hReady);
    CloseIfOpen(m_hStarted);
    CloseIfOpen(m_hAnswered);
    m_dwError = dwError;
}

void CAnswerClock::Prepare(HANDLE hRxEvent)
{
    // A watch on no event would end at once, unseen: the device fails here.
    if (hRxEvent == nullptr)
        return EndWatch(ERROR_INVALID_HANDLE);
    m_hRxEvent = hRxEvent;
    m_hReady = g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hStarted = g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hAnswered = g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hReady == nullptr || m_hStarted == nullptr || m_hAnswered == nullptr)
        return EndWatch(LastErrorOr(ERROR_NOT_ENOUGH_MEMORY));
    m_hWatch = g_SystemCalls.CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    if (m_hWatch == nullptr)
        return EndWatch(LastErrorOr(ERROR_NOT_ENOUGH_MEMORY));
    // It wakes once, to read the counter: on a busy machine ahead of the rest.
    ::SetThreadPriority(m_hWatch, THREAD_PRIORITY_TIME_CRITICAL);
    HANDLE ready[2] = {m_hReady, m_hWatch};
    ::WaitForMultipleObjects(2, ready, FALSE, INFINITE);
}

void CAnswerClock::Start()
{
    g_SystemCalls.QueryPerformanceCounter(&m_start);
    ::InterlockedExchange(&m_lStarted, TRUE);
    if (m_hStarted != nullptr)
        ::SetEvent(m_hStarted);
}

DWORD WINAPI CAnswerClock::Watch(LPVOID pParam)
{
    CAnswerClock* pClock = static_cast<CAnswerClock*>(pParam);
    // The answered event first in each wait: set by the clock's end, it ends the watch.
    HANDLE signalled[2] = {pClock->m_hAnswered, pClock->m_hRxEvent};
    HANDLE started[2] = {pClock->m_hAnswered, pClock->m_hStarted};
    ::SetEvent(pClock->m_hReady);
    if (::WaitForMultipleObjects(2, signalled, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
        return 0;
    // An answer signalled before the start was read, while FT_Write was
    // returning, is timed at the start: the signal's time never reads before it.
    if (::InterlockedCompareExchange(&pClock->m_lStarted, TRUE, TRUE) == TRUE ||
        ::WaitForMultipleObjects(2, started, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    {
        g_SystemCalls.QueryPerformanceCounter(&pClock->m_signal);
        ::SetEvent(pClock->m_hAnswered);
    }
    return 0;
}

double CAnswerClock::ElapsedMs(const LARGE_INTEGER& frequency) const
{
    // Read on two threads: on a machine whose processors' counters drift
    // apart the signal may read a little before the start.
    const LONGLONG llSpan = m_signal.QuadPart > m_start.QuadPart ? m_signal.QuadPart - m_start.QuadPart : 0;
    return static_cast<double>(llSpan) / static_cast<double>(frequency.QuadPart) * 1000.0;
}
