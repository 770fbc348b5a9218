// The report writer: every message kind's rendering and visibility, the result
// records with the system's texts, the end-of-run record, and the stream-in
// callback with its cookie. Read back from the real rich edit control.
#include "report/StreamCookie.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HandleCount.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

namespace
{
class ReportWriter : public ::testing::Test
{
protected:
    TestDialogHost host;
    CUsbInstallationTestDlg& dlg = host.Dialog();
};

// The look of every kind, and of two that no caller passes.
std::vector<KindLook> KindCases()
{
    std::vector<KindLook> cases(std::begin(kKindLooks), std::end(kKindLooks));
    KindLook highBits = kKindLooks[3];
    highBits.nKind = 0x100 | LOG_RESULT_OK;
    highBits.pszName = "0x111 (acts as LOG_RESULT_OK)";
    cases.push_back(highBits);
    KindLook unknown = kKindLooks[0];
    unknown.nKind = 0x42;
    unknown.pszName = "an unknown kind (plain text)";
    cases.push_back(unknown);
    return cases;
}
} // namespace

TEST_F(ReportWriter, EveryKindHasItsPrefixColourWeightAndVisibility)
{
    for (const bool bDetailed : {false, true})
    {
        host.SetDetailed(bDetailed);
        for (const KindLook& c : KindCases())
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

TEST_F(ReportWriter, NullTextAndKindZeroWriteNothing)
{
    dlg.WriteLog("first", LOG_TEXT);
    dlg.WriteLog(nullptr, LOG_HEADING);
    dlg.WriteLog("ignored", 0);
    dlg.WriteLog("ignored too", 0x100); // low byte 0
    EXPECT_EQ(host.ReportText(), "first\n");
}

TEST_F(ReportWriter, LinesKeepTheirOwnFormatsSideBySide)
{
    host.SetDetailed(true);
    dlg.WriteLog("Heading", LOG_HEADING);
    dlg.WriteLog("Step", LOG_DETAIL);
    dlg.WriteLog("Problem", LOG_DETAIL_ALERT);
    dlg.WriteLog("OK", LOG_RESULT_OK);
    dlg.WriteLog("Ends in a line feed\n", LOG_TEXT);
    EXPECT_EQ(host.ReportText(), "\nHeading\n\tStep\n\tProblem\n... Result:   OK\nEnds in a line feed\n\n");
    const ExpectedReport expected =
        ExpectedReport(true).Heading("Heading").Detail("Step").Alert("Problem").Ok().Line("Ends in a line feed\n");
    EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(expected.Runs()));
}

TEST_F(ReportWriter, DetailsAndSaveFollowTheReportsContent)
{
    // A hidden detail on an empty report leaves both disabled.
    dlg.WriteLog("hidden", LOG_DETAIL);
    EXPECT_EQ(host.ReportText(), "");
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_SAVE));

    dlg.WriteLog("shown", LOG_TEXT);
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_SAVE));

    // Every call enables them while the report holds text, even one that writes nothing.
    ::EnableWindow(dlg.m_btnDetails.m_hWnd, FALSE);
    ::EnableWindow(dlg.m_btnSave.m_hWnd, FALSE);
    dlg.WriteLog("hidden", LOG_DETAIL_ALERT);
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_SAVE));
    ::EnableWindow(dlg.m_btnDetails.m_hWnd, FALSE);
    dlg.WriteLog(nullptr, 0);
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_DETAILS));
}

TEST_F(ReportWriter, EachMessageLeavesTheSelectionEmptyAtTheEnd)
{
    dlg.WriteLog("Some text in the report", LOG_TEXT);
    for (const UINT nKind : {static_cast<UINT>(LOG_TEXT), static_cast<UINT>(LOG_DETAIL)})
    {
        CHARRANGE crUser = {2, 6};
        ::SendMessageA(dlg.m_richLog.m_hWnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&crUser));
        dlg.WriteLog("more", nKind); // the detail is not shown in the simple view
        CHARRANGE crAfter = {};
        ::SendMessageA(dlg.m_richLog.m_hWnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&crAfter));
        GETTEXTLENGTHEX gtl = {GTL_NUMCHARS, CP_ACP};
        const LONG nEnd = static_cast<LONG>(
            ::SendMessageA(dlg.m_richLog.m_hWnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0));
        EXPECT_EQ(crAfter.cpMin, crAfter.cpMax) << "kind " << nKind;
        EXPECT_EQ(crAfter.cpMin, nEnd) << "kind " << nKind;
    }
    EXPECT_EQ(host.ReportText(), "Some text in the report\nmore\n");
}

TEST_F(ReportWriter, ResultRecords)
{
    dlg.WriteResult({0, "OK", LOG_RESULT_OK});
    EXPECT_EQ(host.ReportText(), "... Result:   OK\n");

    host.ClearReport();
    dlg.WriteResult({ERROR_ACCESS_DENIED, "Error", LOG_RESULT_ERROR});
    ASSERT_FALSE(ReportedSystemText(ERROR_ACCESS_DENIED).empty());
    const ExpectedReport accessDenied = ExpectedReport(false).Error(ERROR_ACCESS_DENIED);
    EXPECT_EQ(host.ReportText(), accessDenied.Text());
    EXPECT_TRUE(Contains(host.ReportText(), "Error:   0x00000005 (5)\n\t")) << host.ReportText();
    EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(accessDenied.Runs()));

    // A code the system has no text for leaves only the record's own line.
    const DWORD dwNoText = 0x1FFFFFF0;
    ASSERT_TRUE(ReportedSystemText(dwNoText).empty());
    host.ClearReport();
    dlg.WriteResult({dwNoText, "Error", LOG_RESULT_ERROR});
    EXPECT_EQ(host.ReportText(), "... Result:   Error\n");

    // A text with an insert (a library of the wrong bitness) is shown with the insert as it stands.
    ASSERT_NE(ReportedSystemText(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
    host.ClearReport();
    dlg.WriteResult({ERROR_BAD_EXE_FORMAT, "Error", LOG_RESULT_ERROR});
    EXPECT_EQ(host.ReportText(), ExpectedReport(false).Error(ERROR_BAD_EXE_FORMAT).Text());

    // The record's text is written with its own kind, also for a heading.
    host.ClearReport();
    dlg.WriteResult({ERROR_INVALID_PARAMETER, "Check common registry entries", LOG_HEADING});
    EXPECT_EQ(
        host.ReportText(),
        ExpectedReport(false).Result(ERROR_INVALID_PARAMETER, "Check common registry entries", LOG_HEADING).Text());
}

namespace
{
const std::string kLongSystemText = std::string(600, 'x') + "\r\n\r\n";
DWORD WINAPI FakeLongFormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR pBuffer, DWORD, va_list*)
{
    LPSTR pszText = static_cast<LPSTR>(::LocalAlloc(LMEM_FIXED, kLongSystemText.size() + 1));
    std::memcpy(pszText, kLongSystemText.c_str(), kLongSystemText.size() + 1);
    *reinterpret_cast<LPSTR*>(pBuffer) = pszText;
    return static_cast<DWORD>(kLongSystemText.size());
}

DWORD WINAPI FakeInnerLineEndsFormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR pBuffer, DWORD, va_list*)
{
    static const char kText[] = "first\r\nsecond \n\r\n";
    LPSTR pszText = static_cast<LPSTR>(::LocalAlloc(LMEM_FIXED, sizeof(kText)));
    std::memcpy(pszText, kText, sizeof(kText));
    *reinterpret_cast<LPSTR*>(pBuffer) = pszText;
    return sizeof(kText) - 1;
}
} // namespace

TEST_F(ReportWriter, ErrorEntryHoldsTheWholeSystemTextWithOnlyTrailingLineEndsStripped)
{
    {
        SystemCallOverride<decltype(g_SystemCalls.FormatMessageA)> fake(g_SystemCalls.FormatMessageA,
                                                                        FakeLongFormatMessageA);
        dlg.WriteResult({0x1234, "Error", LOG_RESULT_ERROR});
    }
    EXPECT_EQ(host.ReportText(), "... Result:   Error\nError:   0x00001234 (4660)\n\t" + std::string(600, 'x') + "\n");

    host.ClearReport();
    {
        SystemCallOverride<decltype(g_SystemCalls.FormatMessageA)> fake(g_SystemCalls.FormatMessageA,
                                                                        FakeInnerLineEndsFormatMessageA);
        dlg.WriteResult({0x80000001, "Error", LOG_RESULT_ERROR});
    }
    // The control turns "\r\n" inside a message into one paragraph end.
    EXPECT_EQ(host.ReportText(), "... Result:   Error\nError:   0x80000001 (2147483649)\n\tfirst\nsecond \n");
}

TEST_F(ReportWriter, EndOfRunRecordWritesTheRuleAndHandsStartBack)
{
    const HANDLE hStandIn = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(hStandIn, nullptr);
    dlg.m_hWorkerThread = hStandIn;
    ::EnableWindow(dlg.m_btnStart.m_hWnd, FALSE);

    dlg.WriteResult({RESULT_END_OF_RUN, nullptr, LOG_HEADING});

    EXPECT_EQ(host.ReportText(), kRule + "\n\n");
    EXPECT_EQ(dlg.m_hWorkerThread, nullptr);
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_START));
    // The handed-over handle is closed by the window thread, once.
    EXPECT_TRUE(host.PumpUntil([&] {
        DWORD dwFlags;
        return ::GetHandleInformation(hStandIn, &dwFlags) == FALSE;
    }));

    host.ClearReport();
    dlg.WriteResult({RESULT_END_OF_RUN, "Check finished.\n", LOG_HEADING});
    const ExpectedReport finished = ExpectedReport(false).Summary(false);
    EXPECT_EQ(host.ReportText(), finished.Text());
    EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(finished.Runs()));
}

TEST_F(ReportWriter, MessageLongerThanOneCallbackBufferArrivesWhole)
{
    std::string longText;
    for (int i = 0; i < 3000; ++i)
        longText += static_cast<char>('a' + i % 26);
    for (int nRepeat = 0; nRepeat < 8; ++nRepeat)
        longText += longText.substr(0, 3000);
    dlg.WriteLog(longText.c_str(), LOG_TEXT);
    EXPECT_EQ(host.ReportText(), longText + "\n");
}

namespace
{
HGLOBAL WINAPI FailingGlobalAlloc(UINT, SIZE_T)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}
} // namespace

TEST_F(ReportWriter, MessageWithoutACookieIsNotInsertedAndNothingBreaks)
{
    dlg.WriteLog("before", LOG_TEXT);
    {
        SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> fake(g_SystemCalls.GlobalAlloc, FailingGlobalAlloc);
        dlg.WriteLog("lost", LOG_TEXT);
    }
    dlg.WriteLog("after", LOG_TEXT);
    EXPECT_EQ(host.ReportText(), "before\nafter\n");
}

// The stream-in callback on its own.
TEST(StreamInCallback, ArgumentFaultsAnswer87AndDeliverNothing)
{
    StreamCookie* pCookie = CreateStreamCookie("text", FALSE);
    ASSERT_NE(pCookie, nullptr);
    BYTE buffer[16];
    struct
    {
        const char* pszCase;
        DWORD_PTR dwCookie;
        LPBYTE pbBuffer;
        LONG cb;
    } cases[] = {
        {"null cookie", 0, buffer, 16},
        {"null buffer", reinterpret_cast<DWORD_PTR>(pCookie), nullptr, 16},
        {"cb 0", reinterpret_cast<DWORD_PTR>(pCookie), buffer, 0},
        {"cb negative", reinterpret_cast<DWORD_PTR>(pCookie), buffer, -1},
    };
    for (const auto& c : cases)
    {
        LONG cbDelivered = 99;
        EXPECT_EQ(StreamInCallback(c.dwCookie, c.pbBuffer, c.cb, &cbDelivered),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER))
            << c.pszCase;
        EXPECT_EQ(cbDelivered, 0) << c.pszCase;
        EXPECT_EQ(pCookie->dwOffset, 0u) << c.pszCase;
    }
    ::GlobalFree(pCookie);
}

TEST(StreamInCallback, MemoryModeContinuesAtTheOffsetAndEndsWithZeroBytes)
{
    StreamCookie* pCookie = CreateStreamCookie("abcdefghij", FALSE);
    ASSERT_NE(pCookie, nullptr);
    EXPECT_EQ(pCookie->bFile, FALSE);
    std::string delivered;
    std::vector<LONG> counts;
    for (;;)
    {
        BYTE buffer[4];
        LONG cb = 0;
        ASSERT_EQ(StreamInCallback(reinterpret_cast<DWORD_PTR>(pCookie), buffer, sizeof(buffer), &cb), 0u);
        counts.push_back(cb);
        if (cb == 0)
            break;
        delivered.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(cb));
    }
    EXPECT_EQ(delivered, "abcdefghij");
    EXPECT_EQ(counts, (std::vector<LONG>{4, 4, 2, 0}));
    EXPECT_EQ(pCookie->dwOffset, 10u);
    ::GlobalFree(pCookie);
}

TEST(StreamInCallback, FileModeReadsTheFileFromTheOffset)
{
    const std::string path = TempDirectory() + "\\stream-in.txt";
    ASSERT_TRUE(WriteFileBytes(path, "0123456789ABCDEF"));
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
    ASSERT_NE(pCookie, nullptr);
    std::string delivered;
    for (int nCall = 0; nCall < 10; ++nCall)
    {
        BYTE buffer[6];
        LONG cb = 0;
        ASSERT_EQ(StreamInCallback(reinterpret_cast<DWORD_PTR>(pCookie), buffer, sizeof(buffer), &cb), 0u);
        if (cb == 0)
            break;
        delivered.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(cb));
    }
    EXPECT_EQ(delivered, "0123456789ABCDEF");
    EXPECT_EQ(pCookie->dwOffset, 16u);
    ::GlobalFree(pCookie);

    // The file is closed after every call: it can be deleted at once.
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST(StreamInCallback, FileModeWithAMissingFileAnswersTheOpensError)
{
    const std::string path = TempDirectory() + "\\no-such-file.txt";
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
    ASSERT_NE(pCookie, nullptr);
    BYTE buffer[8];
    LONG cb = 99;
    EXPECT_EQ(StreamInCallback(reinterpret_cast<DWORD_PTR>(pCookie), buffer, sizeof(buffer), &cb),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(cb, 0);
    EXPECT_EQ(pCookie->dwOffset, 0u);
    ::GlobalFree(pCookie);
}

namespace
{
DWORD WINAPI FailingGetFileSize(HANDLE, LPDWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_SIZE;
}

DWORD WINAPI FailingSetFilePointer(HANDLE, LONG, PLONG, DWORD)
{
    ::SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
}

BOOL WINAPI FailingReadFile(HANDLE, LPVOID, DWORD, LPDWORD pdwRead, LPOVERLAPPED)
{
    *pdwRead = 0;
    ::SetLastError(ERROR_READ_FAULT);
    return FALSE;
}

HANDLE WINAPI FailingCreateFileWithoutAReason(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    ::SetLastError(ERROR_SUCCESS);
    return INVALID_HANDLE_VALUE;
}
} // namespace

TEST(StreamInCallback, FileModeStepFailuresAnswerTheirCodeAndReleaseTheFile)
{
    const std::string path = TempDirectory() + "\\stream-in-fault.txt";
    ASSERT_TRUE(WriteFileBytes(path, "content"));
    const long nHandlesBefore = CountProcessHandles(::GetCurrentProcessId());
    struct
    {
        const char* pszCase;
        DWORD dwExpected;
    } cases[] = {{"size", ERROR_ACCESS_DENIED},
                 {"seek", ERROR_NEGATIVE_SEEK},
                 {"read", ERROR_READ_FAULT},
                 // An open that fails without a reason still fails: 0 would end the stream as a success.
                 {"open", ERROR_GEN_FAILURE}};
    for (const auto& c : cases)
    {
        SystemCallOverride<decltype(g_SystemCalls.CreateFileA)> open(
            g_SystemCalls.CreateFileA,
            std::strcmp(c.pszCase, "open") == 0 ? FailingCreateFileWithoutAReason : g_SystemCalls.CreateFileA);
        SystemCallOverride<decltype(g_SystemCalls.GetFileSize)> size(
            g_SystemCalls.GetFileSize, std::strcmp(c.pszCase, "size") == 0 ? FailingGetFileSize : ::GetFileSize);
        SystemCallOverride<decltype(g_SystemCalls.SetFilePointer)> seek(
            g_SystemCalls.SetFilePointer,
            std::strcmp(c.pszCase, "seek") == 0 ? FailingSetFilePointer : ::SetFilePointer);
        SystemCallOverride<decltype(g_SystemCalls.ReadFile)> read(
            g_SystemCalls.ReadFile, std::strcmp(c.pszCase, "read") == 0 ? FailingReadFile : ::ReadFile);
        StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
        ASSERT_NE(pCookie, nullptr);
        BYTE buffer[8];
        LONG cb = 99;
        EXPECT_EQ(StreamInCallback(reinterpret_cast<DWORD_PTR>(pCookie), buffer, sizeof(buffer), &cb), c.dwExpected)
            << c.pszCase;
        EXPECT_EQ(cb, 0) << c.pszCase;
        ::GlobalFree(pCookie);
    }
    EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nHandlesBefore);
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST(StreamCookie, CreatedFromGlobalMemoryOrNullWhenNoneIsLeft)
{
    StreamCookie* pCookie = CreateStreamCookie("x", TRUE);
    ASSERT_NE(pCookie, nullptr);
    EXPECT_STREQ(pCookie->pszSource, "x");
    EXPECT_EQ(pCookie->bFile, TRUE);
    EXPECT_EQ(pCookie->dwOffset, 0u);
    EXPECT_NE(::GlobalSize(pCookie), 0u);
    EXPECT_EQ(::GlobalFree(pCookie), nullptr);

    SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> fake(g_SystemCalls.GlobalAlloc, FailingGlobalAlloc);
    EXPECT_EQ(CreateStreamCookie("x", FALSE), nullptr);
}
