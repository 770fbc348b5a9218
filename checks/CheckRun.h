// The check run, the body of the check thread: it fixes the order of the
// checks, where a cancel is honoured and when a run counts as successful.
#pragma once

#include "framework/String.h"
#include "report/ReportWriter.h"

#include <atomic>

// The steps of a run, each writing its own part of the report; the check
// dialog carries them out with the state it holds.
class CCheckRunSteps
{
public:
    virtual CString GetOsVersionText() = 0;
    virtual DWORD CheckCommonRegistry(UINT nIndex) = 0;
    virtual DWORD CheckDeviceRegistry(UINT nIndex) = 0;
    virtual DWORD LoadDriverLibrary(LPCSTR pszName) = 0;
    virtual int SearchDevices() = 0;
    virtual DWORD CheckCommunication() = 0;
    virtual int FreeDriverLibrary() = 0;

protected:
    ~CCheckRunSteps() = default;
};

// Runs the steps for every entry of the device table and writes the run's
// summary through report, whose end-of-run record hands the run back. A
// cancel is seen between the steps. Returns the last step's result.
DWORD RunChecks(CCheckRunSteps& steps, CReportWriter& report, const std::atomic<BOOL>& bCancel);
