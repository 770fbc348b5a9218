// The two performance-counter values a response-time benchmark compares: when
// the last FT_Write was about to return, and when the first chunk of its
// answer was signalled.
#pragma once

#include "simulator/CriticalSection.h"

class CResponseTimings
{
public:
    // Starts a new measurement; returns its number for NoteFirstSignal.
    LONG NoteWrite(LONGLONG llWriteReturned);
    // Taken only when nWrite is still the latest write, so an answer to an
    // earlier write of another device cannot overwrite the measurement.
    void NoteFirstSignal(LONG nWrite, LONGLONG llSignal);
    void Get(LONGLONG& llWriteReturned, LONGLONG& llFirstSignal);

private:
    CCriticalSection m_cs;
    LONG m_nWrite = 0;
    LONGLONG m_llWriteReturned = 0;
    LONGLONG m_llFirstSignal = 0;
};
