// Which driver call a run is in, and since when, so that a driver call that
// never returns holds the run only, never the program: the window thread
// gives up on a call that has been out kDriverCallBoundMs and ends the run's
// report itself. Should that call ever return, the run's thread leaves at
// once (DriverCallGivenUp), giving back a device the call left open, writing
// nothing more and touching nothing of the window it wrote to, which may be
// gone by then.
#pragma once

#include "device/DriverEntryPoints.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

// How long one driver call may take before its run is given up.
const DWORD kDriverCallBoundMs = 15000;

// Thrown on the check thread by a driver call that returns after it was given
// up, with the status the call returned; only the check thread's routine
// catches it. The call counts as out (GivenUpCallsOut) for as long as this
// lives, and with it a call made on the way out, such as the device's close.
struct DriverCallGivenUp
{
    DriverCallGivenUp(const DriverCallGivenUp& other);
    DriverCallGivenUp& operator=(const DriverCallGivenUp&) = delete;
    ~DriverCallGivenUp();

    const FT_STATUS status;

private:
    template <typename PFN>
    friend class CWatchedCall;
    // Takes over the count that GiveUpAfter made for the call.
    explicit DriverCallGivenUp(FT_STATUS statusIn) : status(statusIn) {}
};

class CDriverCallWatch
{
public:
    // Check thread, around each call.
    void Enter(LPCSTR pszCall);
    // FALSE when the call was given up while it was out; it then counts as
    // out until the DriverCallGivenUp thrown for it is gone.
    BOOL Leave();

    // Window thread: the name of the call in progress if it has been out
    // dwBoundMs by now, which is then given up; null otherwise.
    LPCSTR GiveUpAfter(DWORD dwBoundMs);

    // Calls given up in this process whose run's thread has not left the
    // driver yet. While one is out, its library stays loaded and the process
    // must not tell it to detach.
    static LONG GivenUpCallsOut();

private:
    // The number of the call in progress, kNoCall or kGivenUp: a call is
    // given up only if it is still the one whose start was read.
    static constexpr DWORD kNoCall = 0;
    static constexpr DWORD kGivenUp = 0xFFFFFFFF;
    std::atomic<DWORD> m_nCall{kNoCall};
    // Written before the call's number is published.
    std::atomic<LPCSTR> m_pszCall{nullptr};
    std::atomic<DWORD> m_dwStart{0};
    // Check thread only.
    DWORD m_nLastCall = kNoCall;
};

// One entry point as the run calls it, with the same arguments and result as
// the driver's own, known to the watch while it is out.
template <typename PFN>
class CWatchedCall
{
public:
    CWatchedCall(PFN pfn, LPCSTR pszName, CDriverCallWatch& watch) : m_pfn(pfn), m_pszName(pszName), m_pWatch(&watch) {}

    template <typename... Args>
    FT_STATUS operator()(Args&&... args) const
    {
        m_pWatch->Enter(m_pszName);
        const FT_STATUS status = m_pfn(std::forward<Args>(args)...);
        if (!m_pWatch->Leave())
            throw DriverCallGivenUp(status);
        return status;
    }

    // On the way out of a run given up on, while its DriverCallGivenUp
    // lives: the report has ended, so the call is not watched, and it counts
    // as out with the call that was given up.
    template <typename... Args>
    FT_STATUS AfterGivenUp(const DriverCallGivenUp&, Args&&... args) const
    {
        return m_pfn(std::forward<Args>(args)...);
    }

    // A slot the library does not export.
    friend bool operator==(const CWatchedCall& call, std::nullptr_t) { return call.m_pfn == nullptr; }

private:
    PFN m_pfn;
    LPCSTR m_pszName;
    CDriverCallWatch* m_pWatch;
};

// The eight entry points as the device search and the communication test
// call them. The watch lives as long as the run's thread holds this.
struct WATCHED_ENTRY_POINTS
{
    WATCHED_ENTRY_POINTS(const DRIVER_ENTRY_POINTS& entryPoints, std::shared_ptr<CDriverCallWatch> pWatchIn);

    std::shared_ptr<CDriverCallWatch> pWatch;
    CWatchedCall<PFN_FT_ListDevices> FT_ListDevices;
    CWatchedCall<PFN_FT_OpenEx> FT_OpenEx;
    CWatchedCall<PFN_FT_Close> FT_Close;
    CWatchedCall<PFN_FT_GetQueueStatus> FT_GetQueueStatus;
    CWatchedCall<PFN_FT_Read> FT_Read;
    CWatchedCall<PFN_FT_Write> FT_Write;
    CWatchedCall<PFN_FT_EE_Read> FT_EE_Read;
    CWatchedCall<PFN_FT_SetEventNotification> FT_SetEventNotification;
};
