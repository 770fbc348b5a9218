// The report a test expects, built line by line in the report's own terms:
// each message kind with its prefix, colour and weight, shown in both views
// or only in the detailed one, and the report's texts. The texts are spelled
// out here rather than taken from the product, so that a change of the
// product's texts shows.
#pragma once

#include "report/LogKind.h"
#include "support/RecordingWriter.h"
#include "support/TestDialogHost.h"

#include <string>
#include <vector>

// The texts the checks write, as the tests expect them: each stands here
// once, and a test that expects a text, looks for one or cuts a report at one
// takes it from here. The product keeps its texts letter for letter
// (report/LogKind.h); a text changed on purpose is changed here too, once.
namespace Text
{
// The frame of a run.
inline constexpr char kOs[] = "Operating System:   ";
inline constexpr char kSucceeded[] = "Check completed successfully!";
inline constexpr char kFinished[] = "Check finished.";
// The registry checks.
inline constexpr char kCommon[] = "Check common registry entries for devices:   ";
inline constexpr char kSpecific[] = "Check specific registry entries for device:   ";
inline constexpr char kDevicesRegistered[] = "Number of devices registered:   ";
inline constexpr char kNoDeviceKey[] = "Device key was not found.";
inline constexpr char kNoInstance[] = "No device was found.";
inline constexpr char kRegisteredDll[] = "Registered DLL:   ";
inline constexpr char kRegisteredUninstall[] = "Registered uninstall file:   ";
inline constexpr char kRegisteredDriver[] = "Registered driver file:   ";
inline constexpr char kRegisteredInf[] = "Registered installation file:   ";
inline constexpr char kDllFound[] = "... DLL was found.";
inline constexpr char kFileFound[] = "... File was found.";
inline constexpr char kFileMissing[] = "... File was not found.";
inline constexpr char kDriverVersion[] = "Driver version:   ";
// The driver library and the device search.
inline constexpr char kLoad[] = "Load DLL:   ";
inline constexpr char kFileVersion[] = "File version:   ";
inline constexpr char kSearch[] = "Search devices currently connected to the PC";
inline constexpr char kDevicesFound[] = "Number of devices found:   ";
inline constexpr char kNoDevice[] = "No device found";
inline constexpr char kCommunication[] = "Check device communication";
inline constexpr char kNoEntryPoint[] = "Incorrect function pointer";
inline constexpr char kFree[] = "Deallocate DLL Memory";
inline constexpr char kNotLoaded[] = "The DLL has not been loaded yet.";
// A device's test.
inline constexpr char kDevice[] = "Check communication with device:   ";
inline constexpr char kOpen[] = "Open the connection.";
inline constexpr char kReadEeprom[] = "Read EEPROM data";
inline constexpr char kConnected[] = "Device connected:   ";
inline constexpr char kDescription[] = "Description:   ";
inline constexpr char kManufacturer[] = "Manufacturer:   ";
inline constexpr char kNotify[] = "Set the event notification";
inline constexpr char kWait[] = "Wait for SCPI response";
inline constexpr char kSend[] = "Send SCPI request:   *IDN?;";
inline constexpr char kDone[] = "... successfull";
inline constexpr char kFailed[] = "... failed";
inline constexpr char kFirstCharacters[] = "... first characters received";
inline constexpr char kQueued[] = " bytes received by the device driver";
inline constexpr char kCopied[] = " bytes copied into the receive buffer";
inline constexpr char kResponse[] = "SCPI response:   ";
inline constexpr char kResponseTime[] = "Response time:   ";
inline constexpr char kClosed[] = "The connection is closed.";
inline constexpr char kTimeout[] = "... a timeout is occured";
inline constexpr char kCancelled[] = "... thread is going to terminate";
} // namespace Text

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

    // The driver library's load and unload, and the device search.
    ExpectedReport& Load(const std::string& library) { return Heading(Text::kLoad + library); }
    ExpectedReport& Loaded(const std::string& library, const std::string& version)
    {
        return Load(library).Detail(Text::kFileVersion + version).Ok();
    }
    ExpectedReport& Freed() { return Heading(Text::kFree).Ok(); }
    ExpectedReport& NothingToFree() { return Heading(Text::kFree).Alert(Text::kNotLoaded).Warning(); }
    ExpectedReport& Found(int nDevices);

    // One device's communication test, as the driver's EEPROM names it.
    struct Device
    {
        std::string description; // as listed, and in the heading
        std::string identity;    // "Vid_0403&Pid_B7E4#<serial>"
        std::string eeDescription;
        std::string manufacturer;
    };
    // From the device's heading to the open, to the event notification,
    // to the request sent and to the wait for the answer after it, every
    // step before passed.
    ExpectedReport& UpToTheOpen(const Device& device);
    ExpectedReport& UpToTheNotification(const Device& device);
    ExpectedReport& UpToTheSend(const Device& device);
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

// A detail line as the detailed view shows it: "\t<text>\n".
inline std::string DetailLine(const std::string& text)
{
    return "\t" + text + "\n";
}

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
