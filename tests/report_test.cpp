// The report writer: every message kind's rendering and visibility, the result
// records with the system's texts, and the stream-in callback with its
// cookie. Read back from the real rich edit control.
#include "report/StreamCookie.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/SeamFaults.h"
#include "support/Fixtures.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

namespace
{
class ReportWriter : public ::testing::Test
{
protected:
    TestDialogHost host;
    CUsbInstallationTestDlg& dlg = host.Dialog();
};
} // namespace

TEST_F(ReportWriter, EveryKindHasItsPrefixColourWeightAndVisibility)
{
    // Every kind, and two that no caller passes.
    std::vector<KindLook> kinds(std::begin(kKindLooks), std::end(kKindLooks));
    kinds.push_back(
        {0x100 | LOG_RESULT_OK, "0x111 (acts as LOG_RESULT_OK)", "... Result:   ", RGB(0, 127, 0), false, false});
    kinds.push_back({0x42, "an unknown kind (plain text)", "", RGB(0, 0, 0), false, false});
    for (const bool bDetailed : {false, true})
    {
        host.SetDetailed(bDetailed);
        for (const KindLook& c : kinds)
        {
            host.ClearReport();
            dlg.WriteLog("Text", c.nKind);
            const bool bShown = bDetailed || !c.bDetailOnly;
            const std::string expected = bShown ? std::string(c.pszPrefix) + "Text\n" : "";
            EXPECT_EQ(host.ReportText(), expected) << c.pszName << (bDetailed ? ", detailed" : ", simple");
            if (!bShown)
                continue;
            // The paragraph mark of the last line takes no format of its own.
            const std::vector<FormattedRun> runs = host.FormattedRuns();
            ASSERT_FALSE(runs.empty()) << c.pszName;
            for (const FormattedRun& run : runs)
            {
                EXPECT_EQ(run.crColor, c.crColor) << c.pszName << ": " << DescribeRuns(runs);
                EXPECT_EQ(run.bBold, c.bBold) << c.pszName << ": " << DescribeRuns(runs);
            }
        }
    }
}

namespace
{
struct Write
{
    const char* pszText;
    UINT nKind;
    bool bNoCookie = false; // the stream's cookie cannot be had: the message is not inserted
};
} // namespace

// Before every write a selection of the user's and both buttons disabled:
// each message leaves an empty selection at the end, and every call, even
// one that writes nothing, enables Details and Save while the report holds text.
TEST_F(ReportWriter, WritesShowWholeAndKeepTheButtonsAndTheSelection)
{
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += static_cast<char>('a' + i % 26);
    for (int nRepeat = 0; nRepeat < 8; ++nRepeat)
        longText += longText.substr(0, 3000);
    const struct
    {
        const char* pszName;
        bool bDetailed;
        std::vector<Write> writes;
        std::string expected;
    } kCases[] = {
        {"NullTextAndKindZeroWriteNothing",
         false,
         {{"first", LOG_TEXT}, {nullptr, LOG_HEADING}, {"ignored", 0}, {"ignored too", 0x100}},
         "first\n"},
        {"LinesKeepTheirOwnFormatsSideBySide",
         true,
         {{"Heading", LOG_HEADING},
          {"Step", LOG_DETAIL},
          {"Problem", LOG_DETAIL_ALERT},
          {"OK", LOG_RESULT_OK},
          {"Ends in a line feed\n", LOG_TEXT}},
         "\nHeading\n\tStep\n\tProblem\n... Result:   OK\nEnds in a line feed\n\n"},
        {"DetailsAndSaveFollowTheReportsContent",
         false,
         {{"hidden", LOG_DETAIL}, {"shown", LOG_TEXT}, {"hidden", LOG_DETAIL_ALERT}, {nullptr, 0}},
         "shown\n"},
        {"MessageLongerThanOneCallbackBufferArrivesWhole", false, {{longText.c_str(), LOG_TEXT}}, longText + "\n"},
        {"MessageWithoutACookieIsNotInsertedAndNothingBreaks",
         false,
         {{"before", LOG_TEXT}, {"lost", LOG_TEXT, true}, {"after", LOG_TEXT}},
         "before\nafter\n"},
    };
    const HWND hwndLog = host.Report();
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.pszName);
        host.ClearReport();
        host.SetDetailed(c.bDetailed);
        // The lines keep their own looks side by side.
        ExpectedReport looks(c.bDetailed);
        for (const Write& w : c.writes)
        {
            const std::string write = std::string(w.pszText != nullptr ? w.pszText : "(null)").substr(0, 20) +
                                      ", kind " + std::to_string(w.nKind);
            CHARRANGE crUser = {2, 6};
            ::SendMessageA(hwndLog, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&crUser));
            ::EnableWindow(::GetDlgItem(host.Hwnd(), IDC_BUTTON_DETAILS), FALSE);
            ::EnableWindow(::GetDlgItem(host.Hwnd(), IDC_BUTTON_SAVE), FALSE);
            {
                std::optional<CallFault<decltype(g_SystemCalls.GlobalAlloc)>> noCookie;
                if (w.bNoCookie)
                    noCookie.emplace(g_SystemCalls.GlobalAlloc, nullptr, ERROR_NOT_ENOUGH_MEMORY);
                dlg.WriteLog(w.pszText, w.nKind);
            }
            const bool bHoldsText = !host.ReportText().empty();
            EXPECT_EQ(host.IsEnabled(IDC_BUTTON_DETAILS), bHoldsText) << write;
            EXPECT_EQ(host.IsEnabled(IDC_BUTTON_SAVE), bHoldsText) << write;
            if (w.pszText == nullptr || LOBYTE(w.nKind) == 0)
                continue;
            if (!w.bNoCookie)
                looks.Result(0, w.pszText, w.nKind);
            CHARRANGE crAfter = {};
            ::SendMessageA(hwndLog, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&crAfter));
            GETTEXTLENGTHEX gtl = {GTL_NUMCHARS, CP_ACP};
            const LONG nEnd =
                static_cast<LONG>(::SendMessageA(hwndLog, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0));
            EXPECT_TRUE(crAfter.cpMin == nEnd && crAfter.cpMax == nEnd)
                << write << ": selection " << crAfter.cpMin << "-" << crAfter.cpMax << ", end " << nEnd;
        }
        EXPECT_EQ(host.ReportText(), c.expected);
        // Read a character at a time, the long message's looks would take seconds.
        if (c.expected.size() < 1000)
        {
            EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(looks.Runs()));
        }
    }
}

TEST_F(ReportWriter, ASelectionMadeWhileLinesArriveIsNeverWrittenOver)
{
    // Another thread selects the whole report as often as the window thread
    // serves it, as a user's drag or a focus restored on activation does.
    const HWND hwndLog = host.Report();
    std::atomic<bool> bWriting(true);
    std::atomic<bool> bSelecting(true);
    std::thread selector([&] {
        while (bWriting.load())
            ::SendMessageA(hwndLog, EM_SETSEL, 0, -1);
        bSelecting.store(false);
    });
    std::string expected;
    for (int i = 0; i < 200; ++i)
        expected += "line " + std::to_string(i) + "\n";
    host.RunOnWorker([&] {
        for (int i = 0; i < 200; ++i)
            dlg.WriteLog(("line " + std::to_string(i)).c_str(), LOG_TEXT);
        bWriting.store(false);
        return 0;
    });
    host.PumpUntil([&] { return !bSelecting.load(); });
    selector.join();
    EXPECT_EQ(host.ReportText(), expected);
}

namespace
{
// FormatMessageA giving this text instead of the system's.
const char* g_pszSystemText = nullptr;
DWORD WINAPI FakeFormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR pBuffer, DWORD, va_list*)
{
    const size_t cbText = std::strlen(g_pszSystemText) + 1;
    LPSTR pszText = static_cast<LPSTR>(::LocalAlloc(LMEM_FIXED, cbText));
    std::memcpy(pszText, g_pszSystemText, cbText);
    *reinterpret_cast<LPSTR*>(pBuffer) = pszText;
    return static_cast<DWORD>(cbText - 1);
}
} // namespace

// Each result's lines spelled out as far as they are the product's own, and
// whole, with their looks, as the builder has them.
TEST_F(ReportWriter, ResultLines)
{
    ASSERT_FALSE(ReportedSystemText(ERROR_ACCESS_DENIED).empty());
    const DWORD dwNoText = 0x1FFFFFF0;
    ASSERT_TRUE(ReportedSystemText(dwNoText).empty());
    ASSERT_NE(ReportedSystemText(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
    const std::string longText(600, 'x');
    const std::string longSystemText = longText + "\r\n\r\n";
    const struct
    {
        const char* pszName;
        CheckResult result;
        const char* pszSystemText; // FormatMessageA's text when set
        std::string start;
        ExpectedReport expected;
    } kCases[] = {
        {"OK", CheckResult::Ok(), nullptr, "... Result:   OK\n", ExpectedReport(false).Ok()},
        {"a system error", CheckResult::Error(ERROR_ACCESS_DENIED), nullptr,
         "... Result:   Error\nError:   0x00000005 (5)\n\t", ExpectedReport(false).Error(ERROR_ACCESS_DENIED)},
        {"a code the system has no text for leaves only the result's own line", CheckResult::Error(dwNoText), nullptr,
         "... Result:   Error\n", ExpectedReport(false).Result(0, "Error", LOG_RESULT_ERROR)},
        {"a text with an insert (a library of the wrong bitness) is shown with the insert as it stands",
         CheckResult::Error(ERROR_BAD_EXE_FORMAT), nullptr, "... Result:   Error\nError:   0x000000C1 (193)\n\t",
         ExpectedReport(false).Error(ERROR_BAD_EXE_FORMAT)},
        {"ErrorEntryHoldsTheWholeSystemTextWithOnlyTrailingLineEndsStripped", CheckResult::Error(0x1234),
         longSystemText.c_str(), "... Result:   Error\nError:   0x00001234 (4660)\n\t" + longText + "\n",
         ExpectedReport(false).DriverError("0x00001234 (4660)\n\t" + longText)},
        {"the control turns \"\\r\\n\" inside a message into one paragraph end", CheckResult::Error(0x80000001),
         "first\r\nsecond \n\r\n", "... Result:   Error\nError:   0x80000001 (2147483649)\n\tfirst\nsecond \n",
         ExpectedReport(false).DriverError("0x80000001 (2147483649)\n\tfirst\nsecond ")},
    };
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.pszName);
        host.ClearReport();
        g_pszSystemText = c.pszSystemText;
        {
            SystemCallOverride<decltype(g_SystemCalls.FormatMessageA)> fake(
                g_SystemCalls.FormatMessageA,
                c.pszSystemText != nullptr ? FakeFormatMessageA : g_SystemCalls.FormatMessageA);
            dlg.WriteResult(c.result);
        }
        const std::string report = host.ReportText();
        EXPECT_EQ(report.substr(0, c.start.size()), c.start);
        EXPECT_EQ(report, c.expected.Text());
        EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(c.expected.Runs()));
    }
}

// The stream-in callback on its own; a message that takes several of its
// calls is a row of WritesShowWholeAndKeepTheButtonsAndTheSelection.
TEST(StreamInCallback, ArgumentFaultsAnswer87AndDeliverNothing)
{
    StreamCookie* pText = CreateStreamCookie("text");
    StreamCookie* pSave = CreateStreamCookie(INVALID_HANDLE_VALUE);
    ASSERT_TRUE(pText != nullptr && pSave != nullptr);
    const struct
    {
        const char* pszCase;
        StreamCookie* pCookie;
        bool bNullBuffer;
        LONG cb;
    } kCases[] = {
        {"null cookie", nullptr, false, 8},
        {"null buffer", pText, true, 8},
        {"cb 0", pText, false, 0},
        {"cb negative", pText, false, -1},
        {"a cookie to save to, which has no text", pSave, false, 8},
    };
    for (const auto& c : kCases)
    {
        SCOPED_TRACE(c.pszCase);
        BYTE buffer[8];
        LONG cb = 99;
        EXPECT_EQ(StreamInCallback(reinterpret_cast<DWORD_PTR>(c.pCookie), c.bNullBuffer ? nullptr : buffer, c.cb, &cb),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(cb, 0);
        EXPECT_EQ(pText->dwOffset + pSave->dwOffset, 0u);
    }
    ::GlobalFree(pText);
    ::GlobalFree(pSave);
}
