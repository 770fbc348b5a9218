// Saving the report: StreamOutCallback called directly, the save that writes
// a temporary file and replaces the target, and OnSave with the real save
// dialog, driven from a second thread, also while the run writes.
#include "app/ReportCommand.h"
#include "report/ReportFile.h"
#include "report/StreamCookie.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HandleCount.h"
#include "support/HeldFile.h"
#include "support/RtfText.h"
#include "support/SaveDialog.h"
#include "support/SeamFaults.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <cderr.h>
#include <shlobj.h>

#include <memory>
#include <optional>
#include <sstream>

namespace
{
DWORD CALLBACK AppendToString(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    reinterpret_cast<std::string*>(dwCookie)->append(reinterpret_cast<const char*>(pbBuffer), static_cast<size_t>(cb));
    *pcb = cb;
    return 0;
}

// The report's RTF as the control gives it, streamed into memory, as saved:
// without the zero byte the control ends it with.
std::string ControlRtf(TestDialogHost& host)
{
    std::string rtf;
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(&rtf), 0, AppendToString};
    ::SendMessageA(host.Report(), EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return rtf.erase(rtf.find_last_not_of('\0') + 1);
}

// A report of several kinds, long enough that its RTF takes many chunks.
void WriteLongReport(TestDialogHost& host, int nLines)
{
    CUsbInstallationTestDlg& dialog = host.Dialog();
    // A visible control repaints at once after every insertion: ten times the cost.
    ::ShowWindow(host.Report(), SW_HIDE);
    for (int i = 0; i < nLines; ++i)
    {
        char szLine[128];
        wsprintfA(szLine, "Report line %05d of a long report, long enough that a thousand of them fill many chunks", i);
        static const BYTE kKinds[] = {LOG_TEXT, LOG_HEADING, LOG_RESULT_OK, LOG_RESULT_WARNING, LOG_ERROR};
        dialog.WriteLog(szLine, kKinds[i % 5]);
    }
    ::ShowWindow(host.Report(), SW_SHOW);
}

// What a save must leave alone: the buttons and the report, with its formats
// where it is short enough to read them character by character.
std::string StateOf(const TestDialogHost& host)
{
    const std::string report = host.ReportText();
    std::ostringstream state;
    state << "buttons start " << host.IsEnabled(IDC_BUTTON_START) << ", details " << host.IsEnabled(IDC_BUTTON_DETAILS)
          << ", save " << host.IsEnabled(IDC_BUTTON_SAVE) << "\n"
          << (report.size() <= 4000 ? DescribeRuns(host.FormattedRuns()) : report);
    return state.str();
}
} // namespace

// ---------------------------------------------------------------------------
// The callback on its own; what it writes, the saves' rows compare byte for
// byte with the control's RTF.

TEST(StreamOutCallback, RefusesEachArgumentFault)
{
    const std::string path = TempDirectory() + "\\direct.rtf";
    const HANDLE hFile =
        ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    StreamCookie* pFileCookie = CreateStreamCookie(hFile);
    StreamCookie* pMemoryCookie = CreateStreamCookie("a text to insert, which has no file");
    ASSERT_TRUE(pFileCookie != nullptr && pMemoryCookie != nullptr);
    BYTE abChunk[] = "{\\rtf1 x}";

    const struct
    {
        const char* pszName;
        StreamCookie* pCookie;
        bool bBuffer;
        LONG cb;
    } kRows[] = {
        {"null cookie", nullptr, true, 9},
        {"null buffer", pFileCookie, false, 9},
        {"length 0", pFileCookie, true, 0},
        {"length -1", pFileCookie, true, -1},
        {"a cookie of the memory mode", pMemoryCookie, true, 9},
    };
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        LONG nTaken = 4711;
        EXPECT_EQ(StreamOutCallback(reinterpret_cast<DWORD_PTR>(row.pCookie), row.bBuffer ? abChunk : nullptr, row.cb,
                                    &nTaken),
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(nTaken, 0);
        EXPECT_EQ(pFileCookie->dwOffset + pMemoryCookie->dwOffset, 0u);
    }
    ::CloseHandle(hFile);
    EXPECT_EQ(ReadFileBytes(path), "") << "a refused chunk was written";
    ::GlobalFree(pFileCookie);
    ::GlobalFree(pMemoryCookie);
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// A save that fails, at any point, leaves the earlier file as it was and no
// temporary file; one that another program holds for a moment waits it out.

namespace
{
// Each flush as the seam sees it: of the temporary file, under its temporary
// name and so before the move, or of another. It fails with g_dwFlushError.
std::string g_flushes;
DWORD g_dwFlushError = 0;

BOOL WINAPI NotedFlush(HANDLE hFile)
{
    WCHAR szPath[MAX_PATH] = {};
    ::GetFinalPathNameByHandleW(hFile, szPath, MAX_PATH, 0);
    g_flushes += std::wcsstr(szPath, L"\\~report-") != nullptr ? "the temporary file; " : "another file; ";
    ::SetLastError(g_dwFlushError);
    return g_dwFlushError == 0 && ::FlushFileBuffers(hFile);
}

// A move that fails as if the target were held, and whose holder lets go
// before the save can look for a hold.
HeldFile* g_pLettingGo = nullptr;
int g_nMoves = 0;

BOOL WINAPI MoveFailingAsTheHolderLetsGo(LPCWSTR pszFrom, LPCWSTR pszTo, DWORD dwFlags)
{
    if (++g_nMoves == 1 && g_pLettingGo != nullptr)
    {
        g_pLettingGo->Release();
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::MoveFileExW(pszFrom, pszTo, dwFlags);
}
} // namespace

TEST(SaveReportAsRtf, AFailedSaveKeepsTheEarlierFileAndLeavesNoTemporaryFile)
{
    TestDialogHost host;
    WriteLongReport(host, 600);
    const std::string rtf = ControlRtf(host);
    const std::string before = StateOf(host);
    const ScratchFolder scratch("save-whole");
    const std::string oldContent = "the file as it was before the save";
    const DWORD kAnyError = 0xFFFFFFFF; // a failure that leaves no reason must still fail
    const struct
    {
        const char* pszName;
        DWORD dwResult;
        const char* pszFile = "report.rtf";
        int nFailingWrite = 0; // 1-based: the chunk whose write fails
        DWORD dwWriteError = 0;
        DWORD dwBytesBeforeFailure = 0;
        bool bUnallocatedCookie = false;
        DWORD dwHeldMs = 0; // the target held without sharing; INFINITE: the whole save
    } kRows[] = {
        {"full disk on the first chunk", ERROR_DISK_FULL, "report.rtf", 1, ERROR_DISK_FULL},
        {"full disk half-way through the second chunk", ERROR_DISK_FULL, "report.rtf", 2, ERROR_DISK_FULL, 1000},
        {"write fault on the third chunk", ERROR_WRITE_FAULT, "report.rtf", 3, ERROR_WRITE_FAULT, 1},
        {"a failed write that leaves no reason", kAnyError, "report.rtf", 2, ERROR_SUCCESS, 10},
        {"unallocated cookie", ERROR_INVALID_PARAMETER, "report.rtf", 0, 0, 0, true},
        {"path in a missing folder", ERROR_PATH_NOT_FOUND, "no-such-folder\\report.rtf"},
        {"held open for the whole save", ERROR_SHARING_VIOLATION, "report.rtf", 0, 0, 0, false, INFINITE},
        {"held open for 300 ms: saved after the retry", ERROR_SUCCESS, "report.rtf", 0, 0, 0, false, 300},
    };
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        const std::string path = scratch.Path() + "\\" + row.pszFile;
        ASSERT_TRUE(WriteFileBytes(scratch.Path() + "\\report.rtf", oldContent));
        DWORD dwResult = 0;
        const DWORD dwStart = ::GetTickCount();
        const auto save = [&] {
            const WriteFault write(row.nFailingWrite, row.dwWriteError, row.dwBytesBeforeFailure);
            std::optional<CallFault<decltype(g_SystemCalls.GlobalAlloc)>> noCookie;
            if (row.bUnallocatedCookie)
                noCookie.emplace(g_SystemCalls.GlobalAlloc, nullptr, ERROR_NOT_ENOUGH_MEMORY);
            const std::unique_ptr<HeldFile> pHeld(row.dwHeldMs != 0 ? new HeldFile(path, row.dwHeldMs) : nullptr);
            ASSERT_TRUE(pHeld == nullptr || pHeld->Holding());
            dwResult = SaveReportAsRtf(host.ReportControl(), Wide(path).c_str());
        };
        EXPECT_EQ(HandlesLeftBy(save), 0) << "handles left by the save";
        if (row.dwResult == kAnyError)
        {
            EXPECT_NE(dwResult, 0u) << "a failure answered as success";
        }
        else
        {
            EXPECT_EQ(dwResult, row.dwResult);
        }
        if (row.dwHeldMs == INFINITE)
        {
            EXPECT_GE(::GetTickCount() - dwStart, 1900u) << "given up before a moment's hold had passed";
        }
        const std::string expected = row.dwResult == ERROR_SUCCESS ? rtf : oldContent;
        EXPECT_TRUE(ReadFileBytes(scratch.Path() + "\\report.rtf") == expected)
            << "report.rtf holds " << ReadFileBytes(scratch.Path() + "\\report.rtf").size() << " bytes, expected "
            << expected.size();
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));
        EXPECT_EQ(StateOf(host), before);
    }
}

TEST(SaveReportAsRtf, SaveAndTheReportCommandFlushTheTemporaryFileBeforeTheMove)
{
    TestDialogHost host;
    host.Dialog().WriteLog("A short report", LOG_TEXT);
    const DeviceTableOverride table({}); // /report's run: the OS line and the summary
    const ScratchFolder scratch("flush");
    const std::string path = scratch.Path() + "\\report.rtf";
    SystemCallOverride<decltype(g_SystemCalls.FlushFileBuffers)> flush(g_SystemCalls.FlushFileBuffers, NotedFlush);
    const struct
    {
        bool bSave; // or /report
        DWORD dwFlushError;
    } kRows[] = {{true, 0}, {false, 0}, {true, ERROR_WRITE_FAULT}};
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(std::string(row.bSave ? "Save" : "/report") + ", flush error " + std::to_string(row.dwFlushError));
        const std::string before = ReadFileBytes(path);
        g_flushes.clear();
        g_dwFlushError = row.dwFlushError;
        EXPECT_EQ(row.bSave ? SaveReportAsRtf(host.ReportControl(), Wide(path).c_str())
                            : RunReportCommand(ParseReportCommand(Wide("x.exe /report \"" + path + "\"").c_str())),
                  row.dwFlushError);
        EXPECT_EQ(g_flushes, "the temporary file; ");
        EXPECT_EQ(ReadFileBytes(path) == before, row.dwFlushError != 0) << "replaced, or kept after a failed flush";
    }
}

TEST(SaveReportAsRtf, TheReplacementWaitsOutAHoldOnEitherFileAndAHolderThatLetsGoDuringTheLook)
{
    TestDialogHost host;
    host.Dialog().WriteLog("A short report", LOG_TEXT);
    const std::string rtf = ControlRtf(host);
    const ScratchFolder scratch("replace");
    const std::string path = scratch.Path() + "\\report.rtf";
    const std::string oldContent = "the file as it was before the save";

    // The temporary file, fresh from the stream, held for 300 ms by a scanner.
    {
        ASSERT_TRUE(WriteFileBytes(path, oldContent));
        CReportFile file;
        ASSERT_EQ(file.Create(Wide(path).c_str()), 0u);
        ASSERT_EQ(file.Write(host.ReportControl()), 0u);
        const std::vector<std::string> temps = FilesIn(scratch.Path(), "~report-*.tmp");
        ASSERT_EQ(temps.size(), 1u) << Joined(FilesIn(scratch.Path()));
        const DWORD dwStart = ::GetTickCount();
        HeldFile held(scratch.Path() + "\\" + temps[0], 300);
        ASSERT_TRUE(held.Holding());
        EXPECT_EQ(file.Replace(FALSE), 0u) << "a held temporary file was not waited for";
        EXPECT_GE(::GetTickCount() - dwStart, 250u) << "replaced while the temporary file was held";
        EXPECT_TRUE(ReadFileBytes(path) == rtf);
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));
    }

    // The holder of the target lets go between the failed move and the look
    // for a hold: no failure.
    {
        ASSERT_TRUE(WriteFileBytes(path, oldContent));
        HeldFile held(path);
        g_pLettingGo = &held;
        g_nMoves = 0;
        SystemCallOverride<decltype(g_SystemCalls.MoveFileExW)> move(g_SystemCalls.MoveFileExW,
                                                                     MoveFailingAsTheHolderLetsGo);
        EXPECT_EQ(SaveReportAsRtf(host.ReportControl(), Wide(path).c_str()), 0u);
        g_pLettingGo = nullptr;
        EXPECT_TRUE(ReadFileBytes(path) == rtf);
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));
    }

    // The same race with real timing: a hold of a few milliseconds, let go
    // at every moment of the save, 50 times.
    int nFailures = 0;
    for (int i = 0; i < 50; ++i)
    {
        ASSERT_TRUE(WriteFileBytes(path, oldContent));
        HeldFile held(path, static_cast<DWORD>(i % 10));
        if (SaveReportAsRtf(host.ReportControl(), Wide(path).c_str()) != 0 || ReadFileBytes(path) != rtf)
            ++nFailures;
    }
    EXPECT_EQ(nFailures, 0) << "saves over a file held for a moment failed";
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));
}

// OnSave with the real save dialog, driven from a second thread.

TEST(OnSave, WritesTheChosenFileAndOnAFailureKeepsTheFileAndSaysWhyAndOnCancelDoesNothing)
{
    TestDialogHost host;
    WriteLongReport(host, 30);
    const std::string report = host.ReportText();
    const std::string rtf = ControlRtf(host);
    const std::string before = StateOf(host);
    const ScratchFolder scratch("on-save");
    // Longer than the report's RTF: none of it may stay behind the new one.
    const std::string oldContent = std::string(200000, 'X') + "END OF THE OLD FILE";
    char szDocuments[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDocuments)));
    // 260 characters with the extension: no room in the dialog's buffer for the string's end.
    const std::string longName(256 - scratch.Path().size() - 1, 'n');

    const struct
    {
        const char* pszName;
        const char* pszFile;      // typed without extension
        bool bBareName = false;   // typed without a folder: saved where the dialog opened
        int nOverwriteAnswer = 0; // an existing file, and the answer to the overwrite question
        bool bHeld = false;       // the file held open by another program for the whole save
        bool bCancel = false;
        DWORD dwError = 0;                      // the reason the warning gives; 0: none
        const char* pszDialogFailure = nullptr; // the save dialog's own reason, which is no system error
    } kRows[] = {
        {"writes the chosen file with the default extension", "chosen"},
        // Full-width letter and backslash, Cyrillic, Polish: the ANSI code
        // page has none of them, and would make "a\" of the first two.
        {"writes a name outside the ANSI code page as it is", "ａ＼жł"},
        {"the dialog opens in the user's Documents", "saved-in-documents", true},
        {"overwrite question: No keeps the file", "existing", false, IDNO},
        {"overwrite question: Yes replaces it", "existing", false, IDYES},
        {"held by another program: the file stays, a warning says why", "existing", false, IDYES, true, false,
         ERROR_SHARING_VIOLATION},
        {"a name longer than the dialog takes: the dialog fails", longName.c_str(), false, 0, false, false,
         FNERR_BUFFERTOOSMALL, "0x00003003 (12291)\n\tThe file name is longer than the save dialog takes."},
        {"cancel writes nothing", "cancelled", false, 0, false, true},
    };
    char szCurrent[MAX_PATH] = {}, szAfter[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, szCurrent);
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        const std::string folder = row.bBareName ? std::string(szDocuments) : scratch.Path();
        const std::string path = folder + "\\" + row.pszFile + ".rtf";
        if (row.nOverwriteAnswer != 0)
        {
            ASSERT_TRUE(WriteFileBytes(path, oldContent));
        }
        SaveDialogSeen seen;
        std::vector<std::string> shownAfter;
        {
            const std::unique_ptr<HeldFile> pHeld(row.bHeld ? new HeldFile(path) : nullptr);
            ASSERT_TRUE(pHeld == nullptr || pHeld->Holding());
            SaveDialogScript script;
            script.fileName = row.bBareName ? std::string(row.pszFile) : folder + "\\" + row.pszFile;
            script.bCancel = row.bCancel;
            script.nOverwriteAnswer = row.nOverwriteAnswer;
            SaveDialogDriverThread driver(host.Hwnd(), script);
            host.Click(IDC_BUTTON_SAVE);
            seen = driver.Result();
            shownAfter = driver.WindowsShownAfterwards();
        }
        ExpectReportSaveDialog(seen);
        EXPECT_EQ(seen.bOverwriteAsked, row.nOverwriteAnswer != 0) << DescribeSaveDialog(seen);
        // A failure is told, once, with the file and the reason.
        const std::string message =
            row.pszDialogFailure != nullptr
                ? "The report could not be saved: the save dialog failed.\n\n" + std::string(row.pszDialogFailure)
                : SaveFailureMessage(path, row.dwError);
        const std::vector<std::string> expectedShown =
            row.dwError != 0 ? std::vector<std::string>{"Save Informations: " + message + " (warning icon)"}
                             : std::vector<std::string>();
        EXPECT_EQ(shownAfter, expectedShown) << "shown after the save: " << Joined(shownAfter);

        // Nothing under the name without the default extension, nor anything else.
        const bool bSaved = row.dwError == 0 && !row.bCancel && row.nOverwriteAnswer != IDNO;
        const std::vector<std::string> expectedFiles = {std::string(row.pszFile) + ".rtf"};
        if (!row.bBareName)
        {
            EXPECT_EQ(FilesIn(folder), row.nOverwriteAnswer != 0 || bSaved ? expectedFiles : std::vector<std::string>())
                << Joined(FilesIn(folder));
        }
        const std::string saved = ReadFileBytes(path);
        if (bSaved)
        {
            // The control's RTF byte for byte, none of a longer file's old content behind it.
            EXPECT_TRUE(saved == rtf) << "the file of " << saved.size() << " bytes is not the control's RTF of "
                                      << rtf.size();
            EXPECT_EQ(RtfToPlainText(saved), report);
        }
        else if (row.nOverwriteAnswer != 0)
        {
            EXPECT_TRUE(saved == oldContent) << "the existing file changed";
        }
        EXPECT_EQ(StateOf(host), before);
        ::GetCurrentDirectoryA(MAX_PATH, szAfter);
        EXPECT_STREQ(szAfter, szCurrent) << "the save holds the chosen folder as the current directory";
        DeleteFileIfAny(path);
    }
}

namespace
{
// The check thread's writes, until it is told to stop, and how many it made.
LONG volatile g_nLinesWritten = 0;
LONG volatile g_nStopWriting = 0;

DWORD WINAPI WriteLinesProc(LPVOID pParam)
{
    for (int i = 0; g_nStopWriting == 0; ++i)
    {
        char szLine[64];
        wsprintfA(szLine, "Line %05d written during a save", i);
        static_cast<CUsbInstallationTestDlg*>(pParam)->WriteLog(szLine, i % 2 == 0 ? LOG_TEXT : LOG_RESULT_OK);
        ::InterlockedIncrement(&g_nLinesWritten);
    }
    return 0;
}

// The lines written when the save wrote its first chunk, and its last.
LONG g_nAtFirstChunk = -1;
LONG g_nAtLastChunk = -1;

BOOL WINAPI NotingWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten,
                            LPOVERLAPPED pOverlapped)
{
    if (g_nAtFirstChunk < 0)
        g_nAtFirstChunk = g_nLinesWritten;
    g_nAtLastChunk = g_nLinesWritten;
    return ::WriteFile(hFile, pBuffer, dwToWrite, pdwWritten, pOverlapped);
}
} // namespace

// The save dialog's wait serves the check thread's writes, and the stream is
// one message: the file holds the report as it stood at one moment, and every
// write arrives, in its order.
TEST(OnSave, ASaveWhileTheRunWritesHoldsTheReportAsItStoodAndTheWritesGoOn)
{
    TestDialogHost host;
    ::ShowWindow(host.Report(), SW_HIDE);
    const ScratchFolder scratch("during-writes");
    g_nLinesWritten = 0;
    g_nStopWriting = 0;
    const HANDLE hWriter = ::CreateThread(nullptr, 0, WriteLinesProc, &host.Dialog(), 0, nullptr);
    ASSERT_NE(hWriter, nullptr);
    const auto lines = [&host] { return static_cast<LONG>(SplitLines(host.ReportText()).size()); };
    host.PumpUntil([&] { return lines() >= 100; });
    const LONG nAtTheClick = lines();
    SaveDialogScript script;
    script.fileName = scratch.Path() + "\\during the writes";
    bool bWentOn = false;
    script.whileOpen = [&] {
        bWentOn = PollUntil(::GetTickCount() + kStateWaitMs, [&] { return lines() >= nAtTheClick + 100; });
    };
    g_nAtFirstChunk = -1;
    {
        const SystemCallOverride<decltype(g_SystemCalls.WriteFile)> noting(g_SystemCalls.WriteFile, NotingWriteFile);
        SaveDialogDriverThread driver(host.Hwnd(), script);
        host.Click(IDC_BUTTON_SAVE);
        EXPECT_TRUE(driver.Result().bClosed) << DescribeSaveDialog(driver.Result());
    }
    // A few more after the save, then the end.
    const LONG nAfterTheSave = g_nLinesWritten;
    host.PumpUntil([&] { return g_nLinesWritten >= nAfterTheSave + 10; });
    g_nStopWriting = 1;
    ASSERT_TRUE(host.PumpUntil([&] { return ::WaitForSingleObject(hWriter, 0) == WAIT_OBJECT_0; }));
    ::CloseHandle(hWriter);

    EXPECT_TRUE(bWentOn) << "the writes did not go on while the save dialog was open";
    EXPECT_EQ(g_nAtLastChunk, g_nAtFirstChunk) << "writes landed while the report was streamed";
    const std::vector<std::string> report = SplitLines(host.ReportText());
    const std::vector<std::string> saved =
        SplitLines(RtfToPlainText(ReadFileBytes(scratch.Path() + "\\during the writes.rtf")));
    EXPECT_GE(static_cast<LONG>(saved.size()), nAtTheClick + 100) << "the file lacks what the report held";
    EXPECT_LT(saved.size(), report.size()) << "no write came after the save";
    ASSERT_EQ(static_cast<LONG>(report.size()), g_nLinesWritten) << "writes were lost";
    for (size_t i = 0; i < report.size(); ++i)
    {
        char szExpected[96];
        wsprintfA(szExpected, "%sLine %05u written during a save",
                  i % 2 == 0 ? "" : "... Result:   ", static_cast<unsigned>(i));
        ASSERT_EQ(report[i], szExpected) << "line " << i;
        if (i < saved.size())
        {
            ASSERT_EQ(saved[i], szExpected) << "line " << i << " of the file";
        }
    }
}
