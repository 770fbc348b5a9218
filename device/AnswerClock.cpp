#include "device/AnswerClock.h"

#include "framework/SystemCalls.h"

CAnswerClock::~CAnswerClock()
{
    // Waits for a signal being taken at this moment: once the watch is gone,
    // nothing takes the receive event's signals any more, and nothing of the
    // pool touches this object.
    if (m_hWait != nullptr)
        ::UnregisterWaitEx(m_hWait, INVALID_HANDLE_VALUE);
    if (m_hAnswered != nullptr)
        ::CloseHandle(m_hAnswered);
}

void CAnswerClock::Start(HANDLE hRxEvent)
{
    g_SystemCalls.QueryPerformanceCounter(&m_start);
    // A watch on no event may be taken (Wine takes it) and never fire: the
    // device would time out rather than fail.
    if (hRxEvent == nullptr)
    {
        m_dwError = ERROR_INVALID_HANDLE;
        return;
    }
    // Watched only from here: an answer signalled while the watch is set up
    // is taken when the watch begins, no earlier than the start.
    m_hAnswered = g_SystemCalls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hAnswered == nullptr)
    {
        m_dwError = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    // The callback is two calls, made on the pool's own wait thread rather
    // than handed on to a worker thread, which would take longer to wake.
    if (!::RegisterWaitForSingleObject(&m_hWait, hRxEvent, OnSignal, this, INFINITE,
                                       WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD))
    {
        m_dwError = LastErrorOr(ERROR_INVALID_HANDLE);
        m_hWait = nullptr;
        ::CloseHandle(m_hAnswered);
        m_hAnswered = nullptr;
    }
}

// Never timed out: the watch waits without a limit until the clock goes.
VOID CALLBACK CAnswerClock::OnSignal(PVOID pParam, BOOLEAN /*bTimedOut*/)
{
    CAnswerClock* pClock = static_cast<CAnswerClock*>(pParam);
    g_SystemCalls.QueryPerformanceCounter(&pClock->m_signal);
    g_SystemCalls.SetEvent(pClock->m_hAnswered);
}

double CAnswerClock::ElapsedMs(const LARGE_INTEGER& frequency) const
{
    // Read on two threads: on a machine whose processors' counters drift
    // apart the signal may read a little before the start.
    const LONGLONG llSpan = m_signal.QuadPart > m_start.QuadPart ? m_signal.QuadPart - m_start.QuadPart : 0;
    return static_cast<double>(llSpan) / static_cast<double>(frequency.QuadPart) * 1000.0;
}
