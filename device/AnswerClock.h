// The response time of one device: started as soon as the request has gone,
// it takes the moment the receive event is signalled on a small thread of
// its own, whatever the check thread is doing then. The check thread writes
// two report lines before it waits, each a message to the window thread,
// which may be painting: a time read only when its own wait returns would
// count the report's work as the instrument's.
#pragma once

#include <windows.h>

class CAnswerClock
{
public:
    CAnswerClock() = default;
    // Ends a watch still waiting, and waits for its thread.
    ~CAnswerClock();
    CAnswerClock(const CAnswerClock&) = delete;
    CAnswerClock& operator=(const CAnswerClock&) = delete;

    // Before the request goes: starts the watch's thread and waits until it
    // waits for the receive event's next signal, which it takes from the
    // event. A thread made only when the answer may already be coming can
    // start late on a busy machine.
    void Prepare(HANDLE hRxEvent);
    // As soon as the request has gone: reads the start.
    void Start();
    // Set once the signal's moment is taken; null when the watch could not be
    // set up (Error tells why) or the clock was not prepared.
    HANDLE Answered() const { return m_hAnswered; }
    DWORD Error() const { return m_dwError; }
    // Milliseconds from the start to the signal, once Answered is set.
    double ElapsedMs(const LARGE_INTEGER& frequency) const;

private:
    static DWORD WINAPI Watch(LPVOID pParam);
    void EndWatch(DWORD dwError);

    LARGE_INTEGER m_start = {};
    LARGE_INTEGER m_signal = {};
    HANDLE m_hRxEvent = nullptr;
    HANDLE m_hReady = nullptr;   // set by the watch as it begins to wait
    HANDLE m_hStarted = nullptr; // set by Start, after m_lStarted
    volatile LONG m_lStarted = FALSE;
    HANDLE m_hAnswered = nullptr; // set by the watch, or by the clock's end to stop it
    HANDLE m_hWatch = nullptr;
    DWORD m_dwError = 0;
};
