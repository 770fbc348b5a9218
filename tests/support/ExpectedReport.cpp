#include "support/ExpectedReport.h"

#include "report/LogKind.h"
#include "report/ReportLog.h"
#include "support/Fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

const KindLook kKindLooks[8] = {
    {LOG_TEXT, "LOG_TEXT", "", RGB(0, 0, 0), false, false},
    {LOG_HEADING, "LOG_HEADING", "\n", RGB(0, 0, 255), false, false},
    {LOG_DETAIL, "LOG_DETAIL", "\t", RGB(0, 0, 0), false, true},
    {LOG_RESULT_OK, "LOG_RESULT_OK", "... Result:   ", RGB(0, 127, 0), false, false},
    {LOG_RESULT_WARNING, "LOG_RESULT_WARNING", "... Result:   ", RGB(255, 0, 0), false, false},
    {LOG_RESULT_ERROR, "LOG_RESULT_ERROR", "... Result:   ", RGB(255, 0, 0), false, false},
    {LOG_DETAIL_ALERT, "LOG_DETAIL_ALERT", "\t", RGB(255, 0, 0), false, true},
    {LOG_ERROR, "LOG_ERROR", "Error:   ", RGB(255, 0, 0), true, false},
};

const std::string kRule(70, '=');
const std::string kSeparator = "\n" + std::string(140, '-') + "\n";
const std::string kFooterMark = "<program version (bits), local time and UTC offset>";

namespace
{
const KindLook& LookOf(UINT nKind)
{
    for (const KindLook& look : kKindLooks)
    {
        if (look.nKind == nKind)
            return look;
    }
    ADD_FAILURE() << "no look for kind " << nKind;
    return kKindLooks[0];
}
} // namespace

std::string ExpectedReport::Kinds() const
{
    std::string kinds;
    for (const Message& message : m_messages)
        kinds += std::string(LookOf(message.nKind).pszName) + ": " + message.text + "\n";
    return kinds;
}

std::string DescribeKinds(const RecordingWriter& writer)
{
    std::string kinds;
    for (const RecordingWriter::Line& line : writer.Lines())
    {
        std::string shown(ReportLineText(line.text.c_str(), line.nKind, TRUE));
        if (!shown.empty())
            shown.pop_back();
        kinds += std::string(LookOf(LOBYTE(line.nKind)).pszName) + ": " + shown + "\n";
    }
    return kinds;
}

ExpectedReport& ExpectedReport::Add(const std::string& text, UINT nKind)
{
    const KindLook& look = LookOf(nKind);
    if (!look.bDetailOnly || m_bDetailed)
        m_messages.push_back({look.pszPrefix + text, nKind});
    return *this;
}

ExpectedReport& ExpectedReport::Error(DWORD dwCode)
{
    return Result(dwCode, "Error", LOG_RESULT_ERROR);
}

ExpectedReport& ExpectedReport::DriverError(const std::string& statusText)
{
    return Add("Error", LOG_RESULT_ERROR).Add(statusText, LOG_ERROR);
}

ExpectedReport& ExpectedReport::Result(DWORD dwCode, const std::string& text, UINT nKind)
{
    Add(text, nKind);
    return dwCode != 0 ? Add(ErrorEntry(dwCode), LOG_ERROR) : *this;
}

ExpectedReport& ExpectedReport::Separator()
{
    return Line(kSeparator.substr(0, kSeparator.size() - 1));
}

ExpectedReport& ExpectedReport::Summary(bool bSucceeded)
{
    Heading(std::string(bSucceeded ? Text::kSucceeded : Text::kFinished) + "\n");
    return Line(kRule + "\n").Line(kFooterMark);
}

ExpectedReport& ExpectedReport::Found(int nDevices)
{
    return Heading(Text::kSearch).Detail(Text::kDevicesFound + std::to_string(nDevices)).Ok();
}

ExpectedReport& ExpectedReport::UpToTheOpen(const Device& device)
{
    return Heading(Text::kDevice + device.description).Detail(Text::kOpen);
}

ExpectedReport& ExpectedReport::UpToTheNotification(const Device& device)
{
    UpToTheOpen(device).Detail(Text::kDone).Detail(Text::kReadEeprom).Detail(Text::kDone);
    Detail(Text::kConnected + device.identity);
    Detail(Text::kDescription + device.eeDescription);
    return Detail(Text::kManufacturer + device.manufacturer).Detail(Text::kNotify);
}

ExpectedReport& ExpectedReport::UpToTheSend(const Device& device)
{
    return UpToTheNotification(device).Detail(Text::kDone).Detail(Text::kWait).Detail(Text::kSend);
}

ExpectedReport& ExpectedReport::UpToTheWait(const Device& device)
{
    return UpToTheSend(device).Detail(Text::kDone).Detail(Text::kWait);
}

ExpectedReport& ExpectedReport::Answered(unsigned nQueued, unsigned nCopied, const std::string& response,
                                         const std::string& responseTime)
{
    Detail(Text::kFirstCharacters);
    Detail(std::to_string(nQueued) + Text::kQueued);
    Detail(std::to_string(nCopied) + Text::kCopied);
    Detail(Text::kResponse + response);
    Detail(Text::kResponseTime + responseTime + " ms");
    return Detail(Text::kClosed).Ok();
}

std::string ExpectedReport::Text() const
{
    std::string text;
    for (const Message& message : m_messages)
        text += message.text + "\n";
    return text;
}

std::vector<FormattedRun> ExpectedReport::Runs() const
{
    std::vector<FormattedRun> runs;
    for (const Message& message : m_messages)
    {
        const KindLook& look = LookOf(message.nKind);
        if (runs.empty() || runs.back().crColor != look.crColor || runs.back().bBold != look.bBold)
            runs.push_back({std::string(), look.crColor, look.bBold});
        runs.back().text += message.text + "\n";
    }
    return runs;
}

std::vector<FormattedRun> ExpectedReport::Lines() const
{
    std::vector<FormattedRun> lines;
    for (const Message& message : m_messages)
    {
        const KindLook& look = LookOf(message.nKind);
        for (const std::string& line : SplitLines(message.text + "\n"))
            lines.push_back({line, look.crColor, look.bBold});
    }
    return lines;
}

std::string ErrorEntry(DWORD dwCode)
{
    char szCode[64];
    std::snprintf(szCode, sizeof(szCode), "0x%08X (%u)\n\t", static_cast<unsigned>(dwCode),
                  static_cast<unsigned>(dwCode));
    return szCode + ReportedSystemText(dwCode);
}

std::string DescribeRuns(const std::vector<FormattedRun>& runs)
{
    std::string description;
    for (const FormattedRun& run : runs)
    {
        char szLook[48];
        std::snprintf(szLook, sizeof(szLook), "[%06lX%s] \"", static_cast<unsigned long>(run.crColor),
                      run.bBold ? " bold" : "");
        description += szLook;
        for (const char ch : run.text)
        {
            if (ch == '\n')
                description += "\\n";
            else if (ch == '\t')
                description += "\\t";
            else
                description += ch;
        }
        description += "\"\n";
    }
    return description;
}

namespace
{
// The form FormatReportOrigin gives, to the digit: the footer read back must
// be written again as it stands.
bool IsFooter(const std::string& line)
{
    char szName[MAX_PATH] = "", szVersion[32] = "", chSign = 0;
    unsigned nBits = 0, nOffsetHours = 0, nOffsetMinutes = 0;
    SYSTEMTIME t = {};
    if (std::sscanf(line.c_str(), "%259s %31s (%u-bit), %hu-%hu-%hu %hu:%hu:%hu %c%u:%u", szName, szVersion, &nBits,
                    &t.wYear, &t.wMonth, &t.wDay, &t.wHour, &t.wMinute, &t.wSecond, &chSign, &nOffsetHours,
                    &nOffsetMinutes) != 12)
        return false;
    char szFooter[MAX_PATH + 96];
    std::snprintf(szFooter, sizeof(szFooter), "%s %s (%u-bit), %04u-%02u-%02u %02u:%02u:%02u %c%02u:%02u", szName,
                  szVersion, nBits, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, chSign, nOffsetHours,
                  nOffsetMinutes);
    char szOwnPath[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, szOwnPath, MAX_PATH);
    const std::string name = szName;
    const bool bProgram = (name == "UsbInstallationTest.exe" && nBits == 32) ||
                          (name == "UsbInstallationTest64.exe" && nBits == 64) ||
                          (EndsWith(szOwnPath, "\\" + name) && nBits == sizeof(void*) * 8);
    // The local time less its offset, against the test's clock in UTC, in 100-ns intervals.
    ULARGE_INTEGER local, now;
    if (line != szFooter || !bProgram || szVersion != std::string(TEST_PROGRAM_VERSION) ||
        !::SystemTimeToFileTime(&t, reinterpret_cast<FILETIME*>(&local)))
        return false;
    ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&now));
    const LONGLONG nMinute = 600000000LL;
    const LONGLONG nOffset = (chSign == '-' ? -1 : 1) * static_cast<LONGLONG>(nOffsetHours * 60 + nOffsetMinutes);
    const LONGLONG nApart =
        static_cast<LONGLONG>(local.QuadPart) - nOffset * nMinute - static_cast<LONGLONG>(now.QuadPart);
    return nApart >= -nMinute && nApart <= nMinute;
}
} // namespace

std::string MaskFooter(const std::string& report)
{
    std::istringstream lines(report);
    std::string masked;
    for (std::string line; std::getline(lines, line);)
        masked += (IsFooter(line) ? kFooterMark : line) + "\n";
    return report.empty() || report.back() == '\n' ? masked : masked.substr(0, masked.size() - 1);
}
