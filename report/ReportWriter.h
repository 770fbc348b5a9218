// What a check writes into the report: a line of a kind, a result, an error
// with the system's text. The check dialog and the report command's window
// implement it; the checks write through it and know nothing else of them.
#pragma once

#include "framework/String.h"
#include "report/LogKind.h"

class CReportWriter
{
public:
    // One line; its prefix, colour and whether the simple view shows it
    // follow from the kind (LogKind). Returns when the line is in the report.
    virtual void WriteLog(LPCSTR pszText, UINT nKind) = 0;

    // The record's line; for a code that is not 0 the code with the system's
    // text follows.
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
};

// The report's error entry for a system error code: "0x%08X (%u)" with the
// code, then a line feed, a tab and the system's text for it without its line
// end. FALSE, with the code's part alone, when the system has no text for it.
BOOL FormatErrorEntry(DWORD dwCode, CString& entry);
