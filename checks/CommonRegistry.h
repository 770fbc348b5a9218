// The common registry check: is the device registered below the USB
// enumeration key, and did the installation put its files into the system
// directory?
#pragma once

#include "report/ReportWriter.h"

// For the device table's entry nIndex: 0 when the check found no error (a
// missing file is a warning); 259 when the device key was not found; else
// the code of the "Error" result written.
DWORD CheckCommonRegistry(CReportWriter& report, UINT nIndex);
