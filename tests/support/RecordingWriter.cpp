#include "support/RecordingWriter.h"

#include "report/ReportLog.h"
#include "support/ExpectedReport.h"

#include <algorithm>

void RecordingWriter::WriteLog(LPCSTR pszText, UINT nKind)
{
    // The report leaves a line without text out.
    if (pszText == nullptr)
        return;
    std::function<void()> fn;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({nKind, pszText});
        const std::string shown(ReportLineText(pszText, nKind, TRUE));
        if (m_fnWhenWritten && shown.find(m_watchedText) != std::string::npos)
            fn.swap(m_fnWhenWritten);
    }
    if (fn)
        fn();
}

std::string RecordingWriter::Text(bool bDetailed) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    for (const Line& line : m_lines)
        text += ReportLineText(line.text.c_str(), line.nKind, bDetailed ? TRUE : FALSE);
    return MaskFooter(text);
}

std::vector<RecordingWriter::Line> RecordingWriter::Lines() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

ResultKind RecordingWriter::WorstResult() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ResultKind worst = RESULT_OK;
    for (const Line& line : m_lines)
        worst = std::max(worst, LOBYTE(line.nKind) == LOG_RESULT_ERROR     ? RESULT_ERROR
                                : LOBYTE(line.nKind) == LOG_RESULT_WARNING ? RESULT_WARNING
                                                                           : RESULT_OK);
    return worst;
}

void RecordingWriter::Clear()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}

void RecordingWriter::WhenWritten(const std::string& text, const std::function<void()>& fn)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_watchedText = text;
    m_fnWhenWritten = fn;
}
