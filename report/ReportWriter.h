// What a check writes into the report: a line of a kind, a result, an error
// with the system's text. The check dialog and the report command's window
// implement it; the checks write through it and know nothing else of them.
#pragma once

#include "framework/String.h"
#include "report/LogKind.h"

// How a check step ended, lightest first.
enum ResultKind
{
    RESULT_OK,
    RESULT_WARNING,
    RESULT_ERROR,
};

// What one check step found, which its result line shows: OK, Warning or
// Error, with the Windows error code or the driver's own text where there is
// one.
struct CheckResult
{
    static CheckResult Ok() { return {}; }
    // The reason, where given, is the alert that stands above the line.
    static CheckResult Warning(LPCSTR pszReason = nullptr, DWORD dwCode = 0)
    {
        return {RESULT_WARNING, dwCode, pszReason};
    }
    // The code's system text follows the line.
    static CheckResult Error(DWORD dwCode) { return {RESULT_ERROR, dwCode, CString()}; }
    // A failure the driver names in its own terms (a status's text) rather
    // than with a system code: the text follows the line.
    static CheckResult DriverError(LPCSTR pszText) { return {RESULT_ERROR, 0, pszText}; }

    ResultKind kind = RESULT_OK;
    DWORD dwCode = 0; // a Windows error code, 0 for none
    CString text;     // a Warning's reason, or the driver's text of an Error
};

// The heavier of the two; the first of two alike.
inline CheckResult Worse(const CheckResult& first, const CheckResult& second)
{
    return second.kind > first.kind ? second : first;
}

class CReportWriter
{
public:
    // One line; its prefix, colour and whether the simple view shows it
    // follow from the kind (LogKind). Returns when the line is in the report.
    virtual void WriteLog(LPCSTR pszText, UINT nKind) = 0;

    // The result line "OK", "Warning" or "Error", with what goes with it.
    void WriteResult(const CheckResult& result);

    // The full path of the file a check looks for, before the lines of its
    // finding: for a writer that keeps more than the report's lines.
    virtual void NoteSearchedPath(LPCSTR pszPath) { (void)pszPath; }

protected:
    ~CReportWriter() = default;
};

// The report's error entry for a system error code: "0x%08X (%u)" with the
// code, then a line feed, a tab and the system's text for it without its line
// end. FALSE, with the code's part alone, when the system has no text for it.
BOOL FormatErrorEntry(DWORD dwCode, CString& entry);

// Text from outside the program (what a device or its driver reports) as a
// line may show it: each control character, a line break included, as the
// visible escape \xNN, so that such text can neither start a line of its own
// nor put a raw control byte into the saved RTF.
CString EscapeControlCharacters(LPCSTR pszText);
