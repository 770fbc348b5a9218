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

    // Reads the start, then watches hRxEvent for its next signal, which the
    // watch takes from the event. Once only.
    void Start(HANDLE hRxEvent);
    // Set once the signal's moment is taken; null when the watch could not be
    // set up (Error tells why) or the clock was not started.
    HANDLE Answered() const { return m_hAnswered; }
    DWORD Error() const { return m_dwError; }
    // Milliseconds from the start to the signal, once Answered is set.
    double ElapsedMs(const LARGE_INTEGER& frequency) const;

private:
    static DWORD WINAPI Watch(LPVOID pParam);

    LARGE_INTEGER m_start = {};
    LARGE_INTEGER m_signal = {};
    HANDLE m_hRxEvent = nullptr;
    HANDLE m_hAnswered = nullptr;
    HANDLE m_hWatch = nullptr;
    DWORD m_dwError = 0;
};
