// The report a test expects, built line by line in the report's own terms:
// each message kind with its prefix, colour and weight, shown in both views
// or only in the detailed one. The texts are spelled out here rather than
// taken from the product, so that a change of the product's texts shows.
#pragma once

#include "report/LogKind.h"
#include "support/RecordingWriter.h"
#include "support/TestDialogHost.h"

#include <string>
#include <vector>

// How the report shows a message kind.
struct KindLook
{
    UINT nKind;
    const char* pszName;
    const char* pszPrefix;
    COLORREF crColor;
    bool bBold;
    bool bDetailOnly;
};
extern const KindLook kKindLooks[8];

// The closing rule's line (70 '='), and the separator between the parts of a
// run as the report shows it: a line feed, 140 '-' and a line feed.
extern const std::string kRule;
extern const std::string kSeparator;

class ExpectedReport
{
public:
    explicit ExpectedReport(bool bDetailed) : m_bDetailed(bDetailed) {}

    ExpectedReport& Line(const std::string& text) { return Add(text, LOG_TEXT); }
    ExpectedReport& Heading(const std::string& text) { return Add(text, LOG_HEADING); }
    ExpectedReport& Detail(const std::string& text) { return Add(text, LOG_DETAIL); }
    ExpectedReport& Alert(const std::string& text) { return Add(text, LOG_DETAIL_ALERT); }
    ExpectedReport& Ok() { return Add("OK", LOG_RESULT_OK); }
    ExpectedReport& Warning() { return Add("Warning", LOG_RESULT_WARNING); }
    // The "Error" result with the system's text for the code.
    ExpectedReport& Error(DWORD dwCode);
    // The "Error" result with a driver status's text.
    ExpectedReport& DriverError(const std::string& statusText);
    // A result record with its own text and kind, and the system's text
    // unless the code is 0.
    ExpectedReport& Result(DWORD dwCode, const std::string& text, UINT nKind);
    ExpectedReport& Separator();
    // The run's end: the summary, the closing rule and the footer (kFooterMark).
    ExpectedReport& Summary(bool bSucceeded);

    // One device's communication test, as the driver's EEPROM names it.
    struct Device
    {
        std::string description; // as listed, and in the heading
        std::string identity;    // "Vid_0403&Pid_B7E4#<serial>"
        std::string eeDescription;
        std::string manufacturer;
    };
    // From the device's heading to "Wait for SCPI response" after the send,
    // every step passed.
    ExpectedReport& UpToTheWait(const Device& device);
    // Everything after that wait for an answer read whole.
    ExpectedReport& Answered(unsigned nQueued, unsigned nCopied, const std::string& response,
                             const std::string& responseTime);

    // As ReportText() gives it.
    std::string Text() const;
    // As FormattedRuns() gives it.
    std::vector<FormattedRun> Runs() const;
    // One entry per line of the report, with its look.
    std::vector<FormattedRun> Lines() const;
    // Each line's kind and text, one a line, as DescribeKinds gives them.
    std::string Kinds() const;

private:
    ExpectedReport& Add(const std::string& text, UINT nKind);

    struct Message
    {
        std::string text; // with its prefix, without the line feed
        UINT nKind;
    };
    bool m_bDetailed;
    std::vector<Message> m_messages;
};

// What stands for the footer, the line after the closing rule that names the
// program and the time, in an expected report.
extern const std::string kFooterMark;
// The report with kFooterMark for each footer naming the test or the program
// with its bits, the project's version, and a time within a minute of now.
std::string MaskFooter(const std::string& report);

// "0x%08X (%u)\n\t<system text>": the error entry's text for a system code.
std::string ErrorEntry(DWORD dwCode);

// Each line the writer was sent, with its kind, as the detailed view shows it.
std::string DescribeKinds(const RecordingWriter& writer);

// Readable runs for failure messages.
std::string DescribeRuns(const std::vector<FormattedRun>& runs);
