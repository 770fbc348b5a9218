// A check run: the object that owns what a run needs (the driver library, the
// cancel flag and event, the watch of the driver call in progress), carries
// out the checks in their order through a report writer and gives the run's
// outcome. The dialog and the report command each create one and show what it
// writes.
#pragma once

#include "device/DriverCallWatch.h"
#include "report/ReportWriter.h"

#include <atomic>
#include <memory>

enum RunOutcome
{
    // "Check completed successfully!": every result is OK.
    RUN_SUCCEEDED,
    // "Check finished.": a Warning or Error result to look at.
    RUN_FINISHED,
    RUN_CANCELLED,
    // A driver call did not return within kDriverCallBoundMs: the report's end
    // was written by GiveUpStuckCall, and the run's thread writes nothing more.
    RUN_GIVEN_UP,
};

class CCheckRun
{
public:
    CCheckRun();
    // Frees a library left loaded. Whoever runs the run must hold it while
    // its thread lives: a call given up on may return after its owner is gone.
    ~CCheckRun();
    CCheckRun(const CCheckRun&) = delete;
    CCheckRun& operator=(const CCheckRun&) = delete;

    // The run's thread: the OS line, the registry checks for every entry of
    // the device table, then for each driver library its binding, the device
    // search and the communication test, and the summary with the rule. A
    // cancel is seen between the steps and ends every wait.
    RunOutcome Run(CReportWriter& report);
    // Any thread: the run ends at its next step; manual reset, so that every
    // wait after it ends too.
    void Cancel();
    BOOL IsCancelled() const { return m_bCancel.load(); }
    // The window's thread, while the run's thread lives: a driver call out
    // kDriverCallBoundMs is given up, with the error naming it and the run's
    // end written to report. TRUE when given up: the run has ended with
    // RUN_GIVEN_UP, and its thread leaves as soon as the call returns.
    BOOL GiveUpStuckCall(CReportWriter& report);
    // Calls given up in this process whose run's thread is still in the
    // driver: while one is out, its library must not be told to detach.
    static LONG GivenUpCallsOut() { return CDriverCallWatch::GivenUpCallsOut(); }

private:
    struct Findings;
    void CheckRegistry(CReportWriter& report, Findings& findings);
    void CheckDriver(CReportWriter& report, LPCSTR pszDriverLibrary, Findings& findings);

    std::atomic<BOOL> m_bCancel{FALSE};
    const HANDLE m_hCancelEvent;
    HMODULE m_hDriverLib = nullptr;
    const std::shared_ptr<CDriverCallWatch> m_pDriverCallWatch = std::make_shared<CDriverCallWatch>();
};
