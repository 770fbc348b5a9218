#include "device/AnswerClock.h"

#include "framework/SystemCalls.h"

CAnswerClock::~CAnswerClock()
{
    if (m_hWatch != nullptr)
    {
        ::SetEvent(m_hAnswered);
        ::WaitForSingleObject(m_hWatch, INFINITE);
        ::CloseHandle(m_hWatch);
    }
    if (m_hAnswered != nullptr)
        ::CloseHandle(m_hAnswered);
}

void CAnswerClock::Start(HANDLE hRxEvent)
{
    g_SystemCalls.QueryPerformanceCounter(&m_start);
    // Watched only from here: an answer signalled while the watch starts is
    // taken when it has started, no earlier than the start.
    m_hRxEvent = hRxEvent;
    // A watch on no event would end at once, unseen: the device fails here.
    if (hRxEvent == nullptr)
    {
        m_dwError = ERROR_INVALID_HANDLE;
        return;
    }
    m_hAnswered = g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hAnswered == nullptr)
    {
        m_dwError = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    m_hWatch = g_SystemCalls.CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    if (m_hWatch == nullptr)
    {
        m_dwError = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        ::CloseHandle(m_hAnswered);
        m_hAnswered = nullptr;
    }
}

// Waits with the system's call: the seam's wait is the run's, which tests steer.
DWORD WINAPI CAnswerClock::Watch(LPVOID pParam)
{
    CAnswerClock* pClock = static_cast<CAnswerClock*>(pParam);
    // The answered event first: set by the clock's end, it ends the watch.
    HANDLE events[2] = {pClock->m_hAnswered, pClock->m_hRxEvent};
    if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
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
