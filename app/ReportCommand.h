// The report without the dialog, for scripts and support engineers:
//   UsbInstallationTest.exe /report FILE [/simple]
// runs one check run in a window of its own that is never shown, writes the
// report as RTF to FILE and gives the process's exit code.
#pragma once

#include "app/CommandLine.h"

// The exit codes of a report that was written, and ERROR_TIMEOUT (1460) for a
// written report that ends at a driver call that did not return; any other is
// the Windows error code for why it could not be written.
const DWORD REPORT_EXIT_SUCCEEDED = 0; // "Check completed successfully!", no Warning or Error result
const DWORD REPORT_EXIT_FINISHED = 1;  // the report has something to look at

// Runs the command. Every target that cannot take the report fails before the
// run: a FILE that exists and is neither empty nor RTF with ERROR_FILE_EXISTS,
// any other with the system's reason. The report goes to a new file in FILE's
// folder first and replaces FILE only when the whole stream was written and
// FILE is still no other kind of file; on every failure FILE is as it was and
// nothing else is left behind.
DWORD RunReportCommand(const ReportCommand& command);
