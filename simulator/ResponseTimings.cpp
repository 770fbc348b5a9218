#include "simulator/ResponseTimings.h"

LONG CResponseTimings::NoteWrite(LONGLONG llWriteReturned)
{
    CSingleLock lock(m_cs);
    m_llWriteReturned = llWriteReturned;
    m_llFirstSignal = 0;
    return ++m_nWrite;
}

void CResponseTimings::NoteFirstSignal(LONG nWrite, LONGLONG llSignal)
{
    CSingleLock lock(m_cs);
    if (nWrite == m_nWrite)
        m_llFirstSignal = llSignal;
}

void CResponseTimings::Get(LONGLONG& llWriteReturned, LONGLONG& llFirstSignal)
{
    CSingleLock lock(m_cs);
    llWriteReturned = m_llWriteReturned;
    llFirstSignal = m_llFirstSignal;
}
