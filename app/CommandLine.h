// The program's command line: "/report FILE [/simple]", or a switch meant
// as it, or neither.
#pragma once

#include "framework/Afx.h"

#include <string>

struct ReportCommand
{
    BOOL bReport;      // the command line names /report, or a switch meant as it
    BOOL bSimple;      // /simple: the simple view instead of the detailed one
    std::wstring path; // FILE as given; empty when none follows /report
    DWORD dwError;     // ERROR_INVALID_PARAMETER for a report command that is malformed
};

// Reads a whole command line as GetCommandLineW gives it, program name first:
// wide, so that no conversion to the ANSI code page changes FILE. Switches
// start with '/' or '-' and are matched without regard to case; FILE never
// does (a switch in its place leaves the command without one). A switch that
// starts like /report but is not it ("/report:FILE", "--report") makes a
// malformed report command; a command line without either is none.
ReportCommand ParseReportCommand(LPCWSTR pszCommandLine);
