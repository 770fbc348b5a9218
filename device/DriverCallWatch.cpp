#include "device/DriverCallWatch.h"

namespace
{
std::atomic<LONG> g_nGivenUpCallsOut{0};
} // namespace

void CDriverCallWatch::Enter(LPCSTR pszCall)
{
    // Numbers are not reused for a long time: a call that ended cannot be
    // taken for the one after it.
    if (++m_nLastCall == kGivenUp)
        m_nLastCall = kNoCall + 1;
    m_pszCall.store(pszCall);
    m_dwStart.store(::GetTickCount());
    m_nCall.store(m_nLastCall);
}

BOOL CDriverCallWatch::Leave()
{
    DWORD nCall = m_nLastCall;
    return m_nCall.compare_exchange_strong(nCall, kNoCall);
}

LPCSTR CDriverCallWatch::GiveUpAfter(DWORD dwBoundMs)
{
    DWORD nCall = m_nCall.load();
    if (nCall == kNoCall || nCall == kGivenUp)
        return nullptr;
    const LPCSTR pszCall = m_pszCall.load();
    const DWORD dwStart = m_dwStart.load();
    // Both were written before the number: if it is still this call's, they are its own.
    if (m_nCall.load() != nCall || ::GetTickCount() - dwStart < dwBoundMs)
        return nullptr;
    // Fails when the call has just returned.
    if (!m_nCall.compare_exchange_strong(nCall, kGivenUp))
        return nullptr;
    ++g_nGivenUpCallsOut;
    return pszCall;
}

DriverCallGivenUp::DriverCallGivenUp(const DriverCallGivenUp& other) : status(other.status)
{
    ++g_nGivenUpCallsOut;
}

DriverCallGivenUp::~DriverCallGivenUp()
{
    --g_nGivenUpCallsOut;
}

LONG CDriverCallWatch::GivenUpCallsOut()
{
    return g_nGivenUpCallsOut.load();
}

WATCHED_ENTRY_POINTS::WATCHED_ENTRY_POINTS(const DRIVER_ENTRY_POINTS& entryPoints,
                                           std::shared_ptr<CDriverCallWatch> pWatchIn)
    : pWatch(std::move(pWatchIn)),
      FT_ListDevices(entryPoints.FT_ListDevices, "FT_ListDevices", *pWatch),
      FT_OpenEx(entryPoints.FT_OpenEx, "FT_OpenEx", *pWatch),
      FT_Close(entryPoints.FT_Close, "FT_Close", *pWatch),
      FT_GetQueueStatus(entryPoints.FT_GetQueueStatus, "FT_GetQueueStatus", *pWatch),
      FT_Read(entryPoints.FT_Read, "FT_Read", *pWatch),
      FT_Write(entryPoints.FT_Write, "FT_Write", *pWatch),
      FT_EE_Read(entryPoints.FT_EE_Read, "FT_EE_Read", *pWatch),
      FT_SetEventNotification(entryPoints.FT_SetEventNotification, "FT_SetEventNotification", *pWatch)
{
}
