// Saving the report: StreamOutCallback called directly and through
// EM_STREAMOUT on the hosted dialog's report, and OnSave with the real save
// dialog, driven from a second thread.
#include "report/SaveReport.h"
#include "report/StreamCookie.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HandleCount.h"
#include "support/HeldFile.h"
#include "support/RtfText.h"
#include "support/SaveDialog.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <sstream>

namespace
{
// One call of the stream-out callback as the control made it.
struct ChunkCall
{
    std::string chunk;
    LONG cb;
    LONG nTaken;
    DWORD dwResult;
    bool bFileClosedAfter;
};

// The stream being recorded: its file and the calls so far.
std::string g_streamPath;
std::vector<ChunkCall> g_streamCalls;

bool FileIsClosed(const std::string& path)
{
    if (!FileExists(path))
        return true;
    const HANDLE hFile = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(hFile);
    return true;
}

// The callback that the tests hand to the control: it forwards to
// StreamOutCallback and records each call.
DWORD CALLBACK RecordingStreamOut(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    ChunkCall call = {std::string(reinterpret_cast<const char*>(pbBuffer), cb > 0 ? static_cast<size_t>(cb) : 0), cb,
                      -1, 0, false};
    call.dwResult = StreamOutCallback(dwCookie, pbBuffer, cb, pcb);
    call.nTaken = *pcb;
    call.bFileClosedAfter = FileIsClosed(g_streamPath);
    g_streamCalls.push_back(call);
    return call.dwResult;
}

struct StreamResult
{
    std::vector<ChunkCall> calls;
    DWORD dwError;        // EDITSTREAM::dwError after the stream
    DWORD dwCookieOffset; // the cookie's dwOffset after the stream
};

// Streams the hosted report as RTF into path, as OnSave does after its dialog.
StreamResult SaveReportTo(TestDialogHost& host, const std::string& path, StreamCookie* pCookie)
{
    g_streamPath = path;
    g_streamCalls.clear();
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, RecordingStreamOut};
    ::SendMessageA(host.Dialog().m_richLog.m_hWnd, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return {g_streamCalls, es.dwError, pCookie != nullptr ? pCookie->dwOffset : 0};
}

StreamResult SaveReportTo(TestDialogHost& host, const std::string& path)
{
    const std::wstring file = Wide(path);
    StreamCookie* pCookie = CreateStreamCookie(file.c_str());
    const StreamResult result = SaveReportTo(host, path, pCookie);
    ::GlobalFree(pCookie);
    return result;
}

std::string Concatenated(const std::vector<ChunkCall>& calls, size_t nCount)
{
    std::string bytes;
    for (size_t i = 0; i < nCount && i < calls.size(); ++i)
        bytes += calls[i].chunk;
    return bytes;
}

std::string DescribeCalls(const std::vector<ChunkCall>& calls)
{
    std::ostringstream text;
    text << calls.size() << " callback calls:";
    for (size_t i = 0; i < calls.size(); ++i)
    {
        text << " #" << i + 1 << " {cb " << calls[i].cb << ", taken " << calls[i].nTaken << ", result "
             << calls[i].dwResult << ", closed " << calls[i].bFileClosedAfter << "}";
    }
    return text.str();
}

// A report of several kinds, long enough that its RTF takes many chunks.
void WriteLongReport(TestDialogHost& host, int nLines)
{
    CUsbInstallationTestDlg& dialog = host.Dialog();
    // A visible control repaints at once after every insertion: ten times the cost.
    ::ShowWindow(dialog.m_richLog.m_hWnd, SW_HIDE);
    for (int i = 0; i < nLines; ++i)
    {
        char szLine[128];
        wsprintfA(szLine, "Report line %05d of a long report, long enough that a thousand of them fill many chunks", i);
        static const BYTE kKinds[] = {LOG_TEXT, LOG_HEADING, LOG_RESULT_OK, LOG_RESULT_WARNING, LOG_ERROR};
        dialog.WriteLog(szLine, kKinds[i % 5]);
    }
    ::ShowWindow(dialog.m_richLog.m_hWnd, SW_SHOW);
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

DWORD g_dwAllocError = 0;

HGLOBAL WINAPI FaultyGlobalAlloc(UINT uFlags, SIZE_T nBytes)
{
    if (g_dwAllocError == 0)
        return ::GlobalAlloc(uFlags, nBytes);
    ::SetLastError(g_dwAllocError);
    return nullptr;
}

std::string TempFile(const std::string& name)
{
    return TempDirectory() + "\\" + name;
}
} // namespace

// ---------------------------------------------------------------------------
// The callback on its own.

TEST(StreamOutCallback, RefusesEachArgumentFaultAndWritesNothingInMemoryMode)
{
    const std::string path = TempFile("refused.rtf");
    DeleteFileIfAny(path);
    const std::wstring file = Wide(path);
    StreamCookie* pFileCookie = CreateStreamCookie(file.c_str());
    // The memory cookie's text is a path: nothing may be written there.
    StreamCookie* pMemoryCookie = CreateStreamCookie(path.c_str());
    ASSERT_TRUE(pFileCookie != nullptr && pMemoryCookie != nullptr);
    BYTE abChunk[] = "{\\rtf1 x}";

    const struct
    {
        const char* pszName;
        StreamCookie* pCookie;
        bool bBuffer;
        LONG cb;
        DWORD dwResult;
    } kRows[] = {
        {"null cookie", nullptr, true, 9, ERROR_INVALID_PARAMETER},
        {"null buffer", pFileCookie, false, 9, ERROR_INVALID_PARAMETER},
        {"length 0", pFileCookie, true, 0, ERROR_INVALID_PARAMETER},
        {"length -1", pFileCookie, true, -1, ERROR_INVALID_PARAMETER},
        {"length INT_MIN", pFileCookie, true, LONG_MIN, ERROR_INVALID_PARAMETER},
        {"everything missing", nullptr, false, 0, ERROR_INVALID_PARAMETER},
        {"memory mode writes nothing", pMemoryCookie, true, 9, 0},
    };
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        LONG nTaken = 4711;
        EXPECT_EQ(StreamOutCallback(reinterpret_cast<DWORD_PTR>(row.pCookie), row.bBuffer ? abChunk : nullptr, row.cb,
                                    &nTaken),
                  row.dwResult);
        EXPECT_EQ(nTaken, 0);
        EXPECT_EQ(pFileCookie->dwOffset, 0u);
        EXPECT_EQ(pMemoryCookie->dwOffset, 0u);
        EXPECT_FALSE(FileExists(path)) << path << " was created";
    }

    // Through the control: it stops at the first chunk that is not taken.
    TestDialogHost host;
    host.Dialog().WriteLog("Some report text", LOG_TEXT);
    const StreamResult result = SaveReportTo(host, path, pMemoryCookie);
    EXPECT_EQ(result.calls.size(), 1u) << DescribeCalls(result.calls);
    EXPECT_EQ(result.dwCookieOffset, 0u);
    EXPECT_FALSE(FileExists(path));
    ::GlobalFree(pFileCookie);
    ::GlobalFree(pMemoryCookie);
}

TEST(StreamOutCallback, FirstChunkReplacesLaterChunksAppendFileClosedBetween)
{
    const std::string path = TempFile("direct.rtf");
    ASSERT_TRUE(WriteFileBytes(path, std::string(5000, 'O') + "old tail"));
    const std::wstring file = Wide(path);
    StreamCookie* pCookie = CreateStreamCookie(file.c_str());
    ASSERT_NE(pCookie, nullptr);

    std::string expected;
    for (std::string chunk : {"{\\rtf1 first", " second", " third}"})
    {
        SCOPED_TRACE("after chunk \"" + chunk + "\"");
        LONG nTaken = -1;
        EXPECT_EQ(StreamOutCallback(reinterpret_cast<DWORD_PTR>(pCookie), reinterpret_cast<LPBYTE>(&chunk[0]),
                                    static_cast<LONG>(chunk.size()), &nTaken),
                  0u);
        expected += chunk;
        EXPECT_EQ(nTaken, static_cast<LONG>(chunk.size()));
        EXPECT_EQ(pCookie->dwOffset, expected.size());
        EXPECT_EQ(ReadFileBytes(path), expected);
        EXPECT_TRUE(FileIsClosed(path)) << "the file is still open";
    }
    ::GlobalFree(pCookie);
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// The whole report through EM_STREAMOUT.

namespace
{
// A stream that went through: every chunk taken, the file closed after each,
// and the file the chunks in the order the control delivered them.
void ExpectWholeSave(const StreamResult& result, const std::string& path)
{
    LONGLONG nSum = 0;
    for (size_t i = 0; i < result.calls.size(); ++i)
    {
        const ChunkCall& call = result.calls[i];
        EXPECT_EQ(call.dwResult, 0u) << "chunk " << i + 1;
        EXPECT_EQ(call.nTaken, call.cb) << "chunk " << i + 1;
        EXPECT_TRUE(call.bFileClosedAfter) << "the file stayed open after chunk " << i + 1;
        nSum += call.nTaken;
    }
    EXPECT_EQ(result.dwError, 0u);
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(static_cast<LONGLONG>(saved.size()), nSum) << DescribeCalls(result.calls);
    EXPECT_EQ(static_cast<LONGLONG>(result.dwCookieOffset), nSum);
    EXPECT_TRUE(saved == Concatenated(result.calls, result.calls.size()))
        << "the file is not the chunks in the order the control delivered them";
}
} // namespace

TEST(SaveReportStream, LongReportArrivesChunkByChunkInOrderReplacesALargerFileAndSavesTheSameTwice)
{
    TestDialogHost host;
    WriteLongReport(host, 3000);
    const std::string report = host.ReportText();
    const std::string before = StateOf(host);
    ASSERT_EQ(SplitLines(report).size(), 3000u + 3000u / 5) << "the report did not take every line";

    const std::string path = TempFile("long.rtf");
    DeleteFileIfAny(path);
    const long nHandlesBefore = CountProcessHandles(::GetCurrentProcessId());
    const StreamResult first = SaveReportTo(host, path);
    EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nHandlesBefore) << "handles after the stream";
    ASSERT_GT(first.calls.size(), 1u) << "the RTF fitted into one chunk; the report is too short for this test";
    ExpectWholeSave(first, path);
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.compare(0, 5, "{\\rtf"), 0) << "not RTF: " << saved.substr(0, 40);
    EXPECT_EQ(RtfToPlainText(saved), report) << "the saved RTF does not read back as the report";

    // Over a larger file, none of which may stay behind the new content.
    ASSERT_TRUE(WriteFileBytes(path, std::string(saved.size() + 300000, 'X') + "END OF THE OLD FILE"));
    const StreamResult second = SaveReportTo(host, path);
    ExpectWholeSave(second, path);
    EXPECT_EQ(ReadFileBytes(path).find("END OF THE OLD FILE"), std::string::npos) << "the old tail is still there";
    EXPECT_TRUE(ReadFileBytes(path) == saved)
        << "the second save differs: " << ReadFileBytes(path).size() << " bytes against " << saved.size();
    EXPECT_EQ(second.dwCookieOffset, first.dwCookieOffset);
    EXPECT_EQ(StateOf(host), before);
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// File calls failing through the seam, on the first or a later chunk.

namespace
{
enum class FailingCall
{
    CreateFile,
    SetFilePointer,
    WriteFile,
};
const char* const kCallNames[] = {"CreateFileW", "SetFilePointer", "WriteFile"};

struct SeamFault
{
    FailingCall call;
    int nChunk;         // 1-based: the chunk whose call fails
    DWORD dwLastError;  // what the failing call leaves in GetLastError
    DWORD dwBytesFirst; // WriteFile only: bytes it writes before failing
};

SeamFault g_fault;
int g_nCallsSeen = 0;

bool FailsNow(FailingCall call)
{
    return g_fault.call == call && ++g_nCallsSeen == g_fault.nChunk;
}

HANDLE WINAPI FaultyCreateFileW(LPCWSTR pszName, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
{
    if (!FailsNow(FailingCall::CreateFile))
        return ::CreateFileW(pszName, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
    ::SetLastError(g_fault.dwLastError);
    return INVALID_HANDLE_VALUE;
}

DWORD WINAPI FaultySetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod)
{
    if (!FailsNow(FailingCall::SetFilePointer))
        return ::SetFilePointer(hFile, lDistance, plDistanceHigh, dwMethod);
    ::SetLastError(g_fault.dwLastError);
    return INVALID_SET_FILE_POINTER;
}

BOOL WINAPI FaultyWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten,
                            LPOVERLAPPED pOverlapped)
{
    if (!FailsNow(FailingCall::WriteFile))
        return ::WriteFile(hFile, pBuffer, dwToWrite, pdwWritten, pOverlapped);
    const DWORD dwPart = g_fault.dwBytesFirst < dwToWrite ? g_fault.dwBytesFirst : dwToWrite;
    *pdwWritten = 0;
    if (dwPart > 0)
        ::WriteFile(hFile, pBuffer, dwPart, pdwWritten, pOverlapped);
    ::SetLastError(g_fault.dwLastError);
    return FALSE;
}
} // namespace

TEST(SaveReportStream, RefusedOrFailingChunkStopsTheStreamAndKeepsEarlierChunks)
{
    TestDialogHost host;
    WriteLongReport(host, 600);
    const std::string before = StateOf(host);
    const std::string oldContent = "the file as it was before the save";
    const DWORD kAnyError = 0xFFFFFFFF; // a failure that leaves no reason must still stop the stream
    const std::string missingFolder = TempFile("no-such-folder");
    const struct
    {
        SeamFault fault;
        DWORD dwResult;
        const char* pszName = nullptr; // none: named after the failing call
        const char* pszFile = "seam.rtf";
        bool bExisting = true;
        bool bHeld = false; // by another process
        bool bUnallocatedCookie = false;
    } kRows[] = {
        {{}, ERROR_SHARING_VIOLATION, "file held open by another process", "held.rtf", true, true},
        {{}, ERROR_PATH_NOT_FOUND, "path in missing folder", "no-such-folder\\report.rtf", false},
        {{}, ERROR_INVALID_PARAMETER, "unallocated cookie", "no-cookie.rtf", false, false, true},
        // A read-only target: the open fails with access denied, the old content stays.
        {{FailingCall::CreateFile, 1, ERROR_ACCESS_DENIED, 0}, ERROR_ACCESS_DENIED},
        {{FailingCall::CreateFile, 3, ERROR_SHARING_VIOLATION, 0}, ERROR_SHARING_VIOLATION},
        {{FailingCall::SetFilePointer, 1, ERROR_SEEK, 0}, ERROR_SEEK},
        {{FailingCall::SetFilePointer, 2, ERROR_NEGATIVE_SEEK, 0}, ERROR_NEGATIVE_SEEK},
        {{FailingCall::WriteFile, 1, ERROR_DISK_FULL, 0}, ERROR_DISK_FULL},
        {{FailingCall::WriteFile, 2, ERROR_DISK_FULL, 1000}, ERROR_DISK_FULL},
        {{FailingCall::WriteFile, 3, ERROR_WRITE_FAULT, 1}, ERROR_WRITE_FAULT},
        {{FailingCall::CreateFile, 2, ERROR_SUCCESS, 0}, kAnyError},
        {{FailingCall::SetFilePointer, 2, ERROR_SUCCESS, 0}, kAnyError},
        {{FailingCall::WriteFile, 2, ERROR_SUCCESS, 10}, kAnyError},
    };

    SystemCallOverride<decltype(g_SystemCalls.CreateFileW)> createFile(g_SystemCalls.CreateFileW, FaultyCreateFileW);
    SystemCallOverride<decltype(g_SystemCalls.SetFilePointer)> setFilePointer(g_SystemCalls.SetFilePointer,
                                                                              FaultySetFilePointer);
    SystemCallOverride<decltype(g_SystemCalls.WriteFile)> writeFile(g_SystemCalls.WriteFile, FaultyWriteFile);
    for (const auto& row : kRows)
    {
        std::ostringstream name;
        name << kCallNames[static_cast<int>(row.fault.call)] << " failing on chunk " << row.fault.nChunk
             << " with last error " << row.fault.dwLastError << " after " << row.fault.dwBytesFirst << " bytes";
        SCOPED_TRACE(row.pszName != nullptr ? row.pszName : name.str());
        const std::string path = TempFile(row.pszFile);
        const std::wstring file = Wide(path);
        DeleteFileIfAny(path);
        if (row.bExisting)
        {
            ASSERT_TRUE(WriteFileBytes(path, oldContent));
        }
        StreamCookie* pCookie = nullptr;
        {
            g_dwAllocError = row.bUnallocatedCookie ? ERROR_NOT_ENOUGH_MEMORY : 0;
            SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> alloc(g_SystemCalls.GlobalAlloc, FaultyGlobalAlloc);
            pCookie = CreateStreamCookie(file.c_str());
            g_dwAllocError = 0;
        }
        ASSERT_EQ(pCookie == nullptr, row.bUnallocatedCookie);
        g_fault = row.fault;
        g_nCallsSeen = 0;
        StreamResult result;
        {
            const std::unique_ptr<HeldFile> pHeld(row.bHeld ? new HeldFile(path) : nullptr);
            if (pHeld)
            {
                ASSERT_TRUE(pHeld->Holding()) << "the holder process could not open " << path;
            }
            const long nHandlesBefore = CountProcessHandles(::GetCurrentProcessId());
            result = SaveReportTo(host, path, pCookie);
            EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nHandlesBefore) << "handles after the stream";
        }
        ::GlobalFree(pCookie);

        const size_t nFailing = row.fault.nChunk > 0 ? static_cast<size_t>(row.fault.nChunk) : 1;
        ASSERT_EQ(result.calls.size(), nFailing)
            << "the stream must stop at the failing chunk; " << DescribeCalls(result.calls);
        const ChunkCall& failed = result.calls.back();
        if (row.dwResult != kAnyError)
        {
            EXPECT_EQ(failed.dwResult, row.dwResult);
        }
        else
        {
            EXPECT_NE(failed.dwResult, 0u) << "a failure answered as success";
        }
        EXPECT_EQ(result.dwError, failed.dwResult);
        const LONG nExpectedTaken =
            row.fault.call == FailingCall::WriteFile ? static_cast<LONG>(row.fault.dwBytesFirst) : 0;
        EXPECT_EQ(failed.nTaken, nExpectedTaken);
        // A held file is open in the other process, not in this one.
        EXPECT_TRUE(failed.bFileClosedAfter || row.bHeld) << "the file stayed open";

        // A file never opened keeps its old content, or stays missing.
        const bool bNeverOpened = nFailing == 1 && row.fault.call == FailingCall::CreateFile;
        const std::string expected =
            bNeverOpened ? oldContent
                         : Concatenated(result.calls, result.calls.size() - 1) + failed.chunk.substr(0, nExpectedTaken);
        if (row.bExisting || !bNeverOpened)
        {
            EXPECT_TRUE(ReadFileBytes(path) == expected)
                << "file of " << ReadFileBytes(path).size() << " bytes, expected " << expected.size();
        }
        else
        {
            EXPECT_FALSE(FileExists(path)) << path << " was created";
        }
        EXPECT_EQ(result.dwCookieOffset, bNeverOpened ? 0u : static_cast<DWORD>(expected.size()));
        EXPECT_FALSE(FileExists(missingFolder)) << missingFolder;
        EXPECT_EQ(StateOf(host), before);
        DeleteFileIfAny(path);
    }
}

// ---------------------------------------------------------------------------
// A save while the check thread writes: the stream is one message, so no
// write lands inside it.

namespace
{
const int kWrittenLines = 400;

DWORD WINAPI WriteLinesProc(LPVOID pParam)
{
    for (int i = 0; i < kWrittenLines; ++i)
    {
        char szLine[64];
        wsprintfA(szLine, "Line %04d written during a save", i);
        static_cast<CUsbInstallationTestDlg*>(pParam)->WriteLog(szLine, i % 2 == 0 ? LOG_TEXT : LOG_RESULT_OK);
    }
    return 0;
}
} // namespace

TEST(SaveReportStream, SaveWhileWritingHoldsTheReportAsItStoodWritesGoOn)
{
    TestDialogHost host;
    ::ShowWindow(host.Dialog().m_richLog.m_hWnd, SW_HIDE);
    const HANDLE hWriter = ::CreateThread(nullptr, 0, WriteLinesProc, &host.Dialog(), 0, nullptr);
    ASSERT_NE(hWriter, nullptr);

    const std::string path = TempFile("during-writes.rtf");
    DeleteFileIfAny(path);
    std::string beforeStream;
    std::string afterStream;
    bool bSaved = false;
    const bool bEnded = host.PumpUntil(
        [&] {
            if (!bSaved && SplitLines(host.ReportText()).size() >= 100)
            {
                beforeStream = host.ReportText();
                SaveReportTo(host, path);
                afterStream = host.ReportText();
                bSaved = true;
            }
            return ::WaitForSingleObject(hWriter, 0) == WAIT_OBJECT_0;
        },
        120000);
    ::CloseHandle(hWriter);
    ASSERT_TRUE(bEnded) << "the writer did not finish";
    ASSERT_TRUE(bSaved) << "the writer ended before the report had 100 lines";

    EXPECT_TRUE(afterStream == beforeStream)
        << "a write landed while the report was streamed: " << SplitLines(beforeStream).size()
        << " lines before the stream, " << SplitLines(afterStream).size() << " after it";
    const std::string saved = RtfToPlainText(ReadFileBytes(path));
    EXPECT_TRUE(saved == beforeStream) << "the file holds " << SplitLines(saved).size() << " lines, the report held "
                                       << SplitLines(beforeStream).size();
    const std::vector<std::string> lines = SplitLines(host.ReportText());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kWrittenLines)) << "the writes did not all arrive after the save";
    for (int i = 0; i < kWrittenLines; ++i)
    {
        char szExpected[96];
        wsprintfA(szExpected, "%sLine %04d written during a save", i % 2 == 0 ? "" : "... Result:   ", i);
        ASSERT_EQ(lines[static_cast<size_t>(i)], szExpected) << "line " << i;
    }
    EXPECT_LT(SplitLines(beforeStream).size(), static_cast<size_t>(kWrittenLines)) << "the save came after the writes";
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// OnSave with the real save dialog, driven from a second thread.

TEST(OnSave, WritesTheChosenFileAndOnAFailureOrCancelNothingAndShowsNothing)
{
    TestDialogHost host;
    WriteLongReport(host, 30);
    const std::string report = host.ReportText();
    const std::string before = StateOf(host);
    const ScratchFolder scratch("on-save");
    const std::string oldContent = "the file as it was before the save";

    const struct
    {
        const char* pszName;
        const char* pszFile; // typed without extension
        bool bExisting;      // an existing file: the overwrite question is answered Yes
        bool bHeld;
        DWORD dwFailingAlloc;
        DWORD dwFailingOpen;
        bool bCancel;
        bool bSaved;
    } kRows[] = {
        {"writes the chosen file with the default extension", "chosen", false, false, 0, 0, false, true},
        // Full-width letter and backslash, Cyrillic, Polish: the ANSI code
        // page has none of them, and would make "a\" of the first two.
        {"writes a name outside the ANSI code page as it is", "ａ＼жł", false, false, 0, 0, false, true},
        {"cookie not allocated, new file", "no-cookie", false, false, ERROR_NOT_ENOUGH_MEMORY, 0, false, false},
        {"cookie not allocated, existing file", "no-cookie-existing", true, false, ERROR_NOT_ENOUGH_MEMORY, 0, false,
         false},
        {"held by another process", "held", true, true, 0, 0, false, false},
        {"read-only target", "read-only", true, false, 0, ERROR_ACCESS_DENIED, false, false},
        {"cancel writes nothing", "cancelled", false, false, 0, 0, true, false},
    };
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        const std::string base = scratch.Path() + "\\" + row.pszFile;
        if (row.bExisting)
        {
            ASSERT_TRUE(WriteFileBytes(base + ".rtf", oldContent));
        }
        SaveDialogSeen seen;
        std::vector<std::string> shownAfter;
        {
            const std::unique_ptr<HeldFile> pHeld(row.bHeld ? new HeldFile(base + ".rtf") : nullptr);
            if (pHeld)
            {
                EXPECT_TRUE(pHeld->Holding());
            }
            g_dwAllocError = row.dwFailingAlloc;
            g_fault = {FailingCall::CreateFile, row.dwFailingOpen != 0 ? 1 : 0, row.dwFailingOpen, 0};
            g_nCallsSeen = 0;
            SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> alloc(g_SystemCalls.GlobalAlloc, FaultyGlobalAlloc);
            SystemCallOverride<decltype(g_SystemCalls.CreateFileW)> open(g_SystemCalls.CreateFileW, FaultyCreateFileW);
            SaveDialogScript script;
            script.fileName = base;
            script.bCancel = row.bCancel;
            script.nOverwriteAnswer = row.bExisting ? IDYES : 0;
            SaveDialogDriverThread driver(host.Hwnd(), script);
            host.Click(IDC_BUTTON_SAVE);
            seen = driver.Result();
            shownAfter = driver.WindowsShownAfterwards();
            g_dwAllocError = 0;
        }
        ExpectReportSaveDialog(seen);
        EXPECT_EQ(seen.bOverwriteAsked, row.bExisting) << DescribeSaveDialog(seen);
        EXPECT_TRUE(shownAfter.empty()) << "shown after the save: " << Joined(shownAfter);

        // Nothing under the name without the default extension, nor anything else.
        const std::vector<std::string> files = FilesIn(scratch.Path());
        const std::vector<std::string> expectedFiles = {std::string(row.pszFile) + ".rtf"};
        EXPECT_EQ(files, row.bExisting || row.bSaved ? expectedFiles : std::vector<std::string>()) << Joined(files);
        if (row.bExisting)
        {
            EXPECT_EQ(ReadFileBytes(base + ".rtf"), oldContent);
        }
        if (row.bSaved)
        {
            EXPECT_EQ(RtfToPlainText(ReadFileBytes(base + ".rtf")), report);
        }
        EXPECT_EQ(StateOf(host), before);
        DeleteFileIfAny(base + ".rtf");
    }
}
