// The report without the dialog, for scripts and support engineers:
//   UsbInstallationTest.exe /report FILE [/simple]
// runs one check run on the check dialog, created but never shown, writes the
// report as RTF to FILE and gives the process's exit code.
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
// start with '/' or '-' and are matched without regard to case. A switch that
// starts like /report but is not it ("/report:FILE", "--report") makes a
// malformed report command; a command line without either is none.
ReportCommand ParseReportCommand(LPCWSTR pszCommandLine);

// The exit codes of a report that was written; any other is the Windows error
// code for why it could not be written.
const DWORD REPORT_EXIT_SUCCEEDED = 0; // "Check completed successfully!", no Warning or Error result
const DWORD REPORT_EXIT_FINISHED = 1;  // the report has something to look at

// Runs the command. Every target that cannot take the report fails before the
// run: a FILE that exists and is neither empty nor RTF with ERROR_FILE_EXISTS,
// any other with the system's reason. The report goes to a new file in FILE's
// folder first and replaces FILE only when the whole stream was written and
// FILE is still no other kind of file; on every failure FILE is as it was and
// nothing else is left behind.
DWORD RunReportCommand(const ReportCommand& command);
