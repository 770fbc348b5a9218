// Loading the driver library and binding its entry points by name.
#pragma once

#include "device/DriverEntryPoints.h"
#include "report/ReportWriter.h"

// FreeDriverLibrary's results. Unlike every other check's, its good result
// is 1: the check run relies on this convention.
const int DRIVER_LIBRARY_NOT_LOADED = 0;
const int DRIVER_LIBRARY_FREED = 1;

// Loads the library (a bare name from the system directory only) into
// hDriverLib, freeing one loaded before, and binds entryPoints; an entry point
// the library lacks stays null. 0, or the load's error code, with every entry
// point null.
DWORD LoadDriverLibrary(CReportWriter& report, LPCSTR pszName, HMODULE& hDriverLib, DRIVER_ENTRY_POINTS& entryPoints);
// Frees hDriverLib and sets it to null.
int FreeDriverLibrary(CReportWriter& report, HMODULE& hDriverLib);
