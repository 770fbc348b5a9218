// A saved report with every message kind, for a reader outside this program:
// the test writes the RTF file and, beside it, the lines the reader must find
// (colour, weight, text); tests/save_rtf_check.sh reads the file with unrtf.
#include "report/SaveReport.h"
#include "report/StreamCookie.h"
#include "support/Fixtures.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <sstream>

namespace
{
struct ExpectedLine
{
    std::string text;
    COLORREF crColor;
    bool bBold;
};

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kGreen = RGB(0, 127, 0);
const COLORREF kRed = RGB(255, 0, 0);

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
    dialog.WriteResult({ERROR_ACCESS_DENIED, "Error", LOG_RESULT_ERROR});
    dialog.WriteLog("Bracing {the} \\RTF\\ specials", LOG_TEXT);
    dialog.WriteResult({RESULT_END_OF_RUN, "Check finished.\n", LOG_HEADING});

    const std::string systemText = ReportedSystemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(systemText.empty()) << "the system has no text for code 5";
    const std::vector<ExpectedLine> expected = {
        {"Operating System:   Windows XP Service Pack 3 Build: 2600", kBlack, false},
        {"", kBlue, false},
        {"Check the common registry entries", kBlue, false},
        {"\tDevice key:   Vid_0403&Pid_B7E4", kBlack, false},
        {"\tUninstaller not found", kRed, false},
        {"... Result:   OK", kGreen, false},
        {"... Result:   Warning", kRed, false},
        {"... Result:   Error", kRed, false},
        {"Error:   0x00000005 (5)", kRed, true},
        {"\t" + systemText, kRed, true},
        {"Bracing {the} \\RTF\\ specials", kBlack, false},
        {"", kBlue, false},
        {"Check finished.", kBlue, false},
        {"", kBlue, false},
        {std::string(70, '='), kBlack, false},
        {"", kBlack, false},
    };

    // The report holds what the reader is to find.
    const std::vector<std::string> lines = SplitLines(host.ReportText());
    ASSERT_EQ(lines.size(), expected.size()) << host.ReportText();
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], expected[i].text) << "report line " << i + 1;

    const std::string rtfPath = WinePath(SAVE_RTF_DIR "/save_rtf_report.rtf");
    const std::string expectedPath = WinePath(SAVE_RTF_DIR "/save_rtf_report.expected");
    DeleteFileIfAny(rtfPath);
    DeleteFileIfAny(expectedPath);

    StreamCookie* pCookie = CreateStreamCookie(rtfPath.c_str(), TRUE);
    ASSERT_NE(pCookie, nullptr);
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, StreamOutCallback};
    ::SendMessageA(dialog.m_richLog.m_hWnd, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    ::GlobalFree(pCookie);
    EXPECT_EQ(es.dwError, 0u);
    ASSERT_TRUE(FileExists(rtfPath));

    // One line per report line: colour, 1 for bold, text. An empty line has no
    // colour that a reader could show.
    std::ostringstream lineFile;
    for (const ExpectedLine& line : expected)
    {
        lineFile << (line.text.empty() ? std::string("-") : HtmlColour(line.crColor)) << '\t' << (line.bBold ? 1 : 0)
                 << '\t' << line.text << '\n';
    }
    ASSERT_TRUE(WriteFileBytes(expectedPath, lineFile.str()));
}
