#include "app/ReportCommand.h"

#include "app/ReportWindow.h"
#include "report/ReportFile.h"

DWORD RunReportCommand(const ReportCommand& command)
{
    if (command.dwError != ERROR_SUCCESS)
        return command.dwError;

    CReportFile file;
    DWORD dwError = file.Create(command.path.c_str());
    if (dwError == ERROR_SUCCESS)
        dwError = file.CheckReplaceable();
    if (dwError != ERROR_SUCCESS)
        return dwError;

    // The report as "Save Informations" writes it, into the temporary file,
    // which then takes FILE's place.
    CReportWindow window(file);
    RunOutcome outcome = RUN_FINISHED;
    dwError = window.Create();
    if (dwError == ERROR_SUCCESS)
        dwError = window.Run(!command.bSimple, outcome);
    if (dwError == ERROR_SUCCESS)
        dwError = file.Write(window.Report());
    if (dwError == ERROR_SUCCESS)
        dwError = file.Replace(TRUE);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    switch (outcome)
    {
    case RUN_SUCCEEDED:
        return REPORT_EXIT_SUCCEEDED;
    // The report tells which driver call did not return.
    case RUN_GIVEN_UP:
        return ERROR_TIMEOUT;
    default:
        return REPORT_EXIT_FINISHED;
    }
}
