// A report writer of the tests' own: it keeps each line as (kind, text) and
// shows them as the report shows them in either view, so that a test calls a
// check directly, without a dialog. Lines may come from any one thread at a time.
#pragma once

#include "report/ReportWriter.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingWriter : public CReportWriter
{
public:
    struct Line
    {
        UINT nKind;
        std::string text;
    };

    void WriteLog(LPCSTR pszText, UINT nKind) override;

    // The lines as the report shows them in the view, each ended by "\n",
    // the footer masked (MaskFooter).
    std::string Text(bool bDetailed = true) const;
    std::vector<Line> Lines() const;
    // The kind of the heaviest result line written; RESULT_OK for none.
    ResultKind WorstResult() const;
    void Clear();
    // Calls fn, once, as the first line whose shown text holds text is written.
    void WhenWritten(const std::string& text, const std::function<void()>& fn);

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
    std::string m_watchedText;
    std::function<void()> m_fnWhenWritten;
};
