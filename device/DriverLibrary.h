// Loading the driver library and binding its entry points by name.
#pragma once

#include "device/DriverEntryPoints.h"
#include "report/ReportWriter.h"

// Loads the library (a bare name from the system directory only) into
// hDriverLib, freeing one loaded before, and binds entryPoints; an entry point
// the library lacks stays null. OK, or an Error with the load's code, with
// every entry point null.
CheckResult LoadDriverLibrary(CReportWriter& report, LPCSTR pszName, HMODULE& hDriverLib,
                              DRIVER_ENTRY_POINTS& entryPoints);
// Frees hDriverLib and sets it to null; a Warning when there was none.
CheckResult FreeDriverLibrary(CReportWriter& report, HMODULE& hDriverLib);
