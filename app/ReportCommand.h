// The report without the dialog, for scripts and support engineers:
//   UsbInstallationTest.exe /report FILE [/simple]
// runs one check run on the check dialog, created but never shown, writes the
// report as RTF to FILE and gives the process's exit code.
#pragma once

#include "framework/Afx.h"

struct ReportCommand
{
    BOOL bReport;  // the command line names /report
    BOOL bSimple;  // /simple: the simple view instead of the detailed one
    CString path;  // FILE as given; empty when none follows /report
    DWORD dwError; // ERROR_INVALID_PARAMETER for a report command that is malformed
};

// Reads a whole command line as GetCommandLineA gives it, program name first.
// Switches start with '/' or '-' and are matched without regard to case; a
// command line without /report is no report command.
ReportCommand ParseReportCommand(LPCSTR pszCommandLine);

// The exit codes of a report that was written; any other is the Windows error
// code for why it could not be written.
const DWORD REPORT_EXIT_SUCCEEDED = 0; // the run ended with "Check completed successfully!"
const DWORD REPORT_EXIT_FINISHED = 1;  // the run ended with "Check finished."

// Runs the command. The report goes to a new file in FILE's folder first and
// replaces FILE only when the whole stream was written; on every failure FILE
// is as it was and nothing else is left behind.
DWORD RunReportCommand(const ReportCommand& command);
