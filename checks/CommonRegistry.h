// The common registry check: is the device registered below the USB
// enumeration key, and did the installation put its files into the system
// directory?
#pragma once

#include "checks/SupportedDevices.h"
#include "report/ReportWriter.h"

// For the device table's entry: its heading, steps and result, which it
// gives. A missing file is a Warning; a device key that was not found, a
// Warning with 259 (ERROR_NO_MORE_ITEMS).
CheckResult CheckCommonRegistry(CReportWriter& report, const DEVICE_INFO& device);
