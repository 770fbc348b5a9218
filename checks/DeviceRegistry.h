// The device-specific registry check: every registered instance of the
// device, its driver file and its installation file.
#pragma once

#include "report/ReportWriter.h"

// For the device table's entry nIndex: 0 unless a failure ended the whole
// check, whose "Error" result's code it then is. An instance's own failure
// is that instance's result, and the check goes on.
DWORD CheckDeviceRegistry(CReportWriter& report, UINT nIndex);
