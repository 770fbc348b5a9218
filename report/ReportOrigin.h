// Who made a report, and when: the line after a run's closing rule, so that a
// report sent by e-mail, which loses the file's own time, still tells it.
#pragma once

#include "framework/String.h"

struct ReportOrigin
{
    CString program; // the running program's file name
    CString version; // the program's version, "0.1.0.0"
    UINT nBits;      // 32 or 64
    SYSTEMTIME localTime;
    int nUtcOffsetMinutes; // the local time's lead over UTC
};

// This program, now.
ReportOrigin CurrentReportOrigin();

// "UsbInstallationTest.exe 0.1.0.0 (32-bit), 2026-12-09 21:10:33 +01:00": the
// local date and time with their offset from UTC, in ISO 8601's form.
CString FormatReportOrigin(const ReportOrigin& origin);
