// A saved report with every message kind, for a reader outside this program:
// the test writes the RTF file and, beside it, the lines the reader must find
// (colour, weight, text); tests/save_rtf_check.sh reads the file with unrtf.
#include "report/ReportFile.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
std::string HtmlColour(COLORREF cr)
{
    char sz[8];
    wsprintfA(sz, "#%02x%02x%02x", GetRValue(cr), GetGValue(cr), GetBValue(cr));
    return sz;
}
} // namespace

TEST(SavedRtf, EveryMessageKindForTheRtfReader)
{
    TestDialogHost host;
    host.SetDetailed(true);
    CUsbInstallationTestDlg& dialog = host.Dialog();
    dialog.WriteLog("Operating System:   Windows XP Service Pack 3 Build: 2600", LOG_TEXT);
    dialog.WriteLog("Check the common registry entries", LOG_HEADING);
    dialog.WriteLog("Device key:   Vid_0403&Pid_B7E4", LOG_DETAIL);
    dialog.WriteLog("Uninstaller not found", LOG_DETAIL_ALERT);
    dialog.WriteLog("OK", LOG_RESULT_OK);
    dialog.WriteLog("Warning", LOG_RESULT_WARNING);
    dialog.WriteResult(CheckResult::Error(ERROR_ACCESS_DENIED));
    dialog.WriteLog("Bracing {the} \\RTF\\ specials", LOG_TEXT);
    dialog.WriteLog("Check finished.\n", LOG_HEADING);
    dialog.WriteLog(REPORT_RULE, LOG_TEXT);

    ASSERT_FALSE(ReportedSystemText(ERROR_ACCESS_DENIED).empty()) << "the system has no text for code 5";
    ExpectedReport report(true);
    report.Line("Operating System:   Windows XP Service Pack 3 Build: 2600");
    report.Heading("Check the common registry entries").Detail("Device key:   Vid_0403&Pid_B7E4");
    report.Alert("Uninstaller not found").Ok().Warning().Error(ERROR_ACCESS_DENIED);
    report.Line("Bracing {the} \\RTF\\ specials").Heading("Check finished.\n").Line(kRule + "\n");
    const std::vector<FormattedRun> expected = report.Lines();

    // The report holds what the reader is to find.
    ASSERT_EQ(host.ReportText(), report.Text());

    const std::string rtfPath = WinePath(SAVE_RTF_DIR "/save_rtf_report.rtf");
    const std::string expectedPath = WinePath(SAVE_RTF_DIR "/save_rtf_report.expected");
    DeleteFileIfAny(rtfPath);
    DeleteFileIfAny(expectedPath);

    EXPECT_EQ(SaveReportAsRtf(host.ReportControl(), Wide(rtfPath).c_str()), 0u);
    ASSERT_TRUE(FileExists(rtfPath));

    // One line per report line: colour, 1 for bold, text. An empty line has no
    // colour that a reader could show.
    std::ostringstream lineFile;
    for (const FormattedRun& line : expected)
    {
        lineFile << (line.text.empty() ? std::string("-") : HtmlColour(line.crColor)) << '\t' << (line.bBold ? 1 : 0)
                 << '\t' << line.text << '\n';
    }
    ASSERT_TRUE(WriteFileBytes(expectedPath, lineFile.str()));
}
