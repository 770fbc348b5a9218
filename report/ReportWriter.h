// What a check writes into the report: a line of a kind, a result, an error
// with the system's text, and the end of a run. The check dialog implements
// it; the checks and the device test write through it and know nothing else
// of the dialog.
#pragma once

#include "framework/String.h"
#include "report/LogKind.h"

class CReportWriter
{
public:
    // One line; its prefix, colour and whether the simple view shows it
    // follow from the kind (LogKind). Returns when the line is in the report.
    virtual void WriteLog(LPCSTR pszText, UINT nKind) = 0;
    // The run's last step, after its summary and rule: its caller takes the
    // run back. bNothingToLookAt: the run wrote no Warning or Error result
    // and no error entry. The writer may be gone once it returns.
    virtual void HandOverRun(BOOL bNothingToLookAt) = 0;

    // The record's line; for RESULT_END_OF_RUN the rule and the hand-over
    // follow it, for another code that is not 0 the code with the system's text.
    void WriteResult(ResultRecord record);

    void WriteOkResult();
    void WriteWarningResult();
    // "Error" with the code and the system's text; returns the code.
    DWORD WriteErrorResult(DWORD dwError);
    // "Error" for a failure the driver reports with a status of its own
    // rather than a system code: the status's text follows as the error line.
    void WriteDriverErrorResult(LPCSTR pszStatusText);

protected:
    ~CReportWriter() = default;

private:
    // The results of the run in progress that need a look, written through
    // this writer; on the check thread only.
    UINT m_nProblemResults = 0;
};

// The report's error entry for a system error code: "0x%08X (%u)" with the
// code, then a line feed, a tab and the system's text for it without its line
// end. FALSE, with the code's part alone, when the system has no text for it.
BOOL FormatErrorEntry(DWORD dwCode, CString& entry);
