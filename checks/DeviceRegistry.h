// The device-specific registry check: every registered instance of the
// device, its driver file and its installation file.
#pragma once

#include "checks/SupportedDevices.h"
#include "report/ReportWriter.h"

// For the device table's entry: a heading and a result for each instance,
// or for the device when it has none. Gives an Error with the code of a
// failure that ended the whole check; else the kind of the worst result
// written, whose code stays with its instance: an instance's own failure
// does not end the check.
CheckResult CheckDeviceRegistry(CReportWriter& report, const DEVICE_INFO& device);
