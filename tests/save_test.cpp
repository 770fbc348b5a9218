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

// The callback that the tests hand to the control: it forwards to
// StreamOutCallback and records each call.
struct StreamRecorder
{
    std::string path;
    std::vector<ChunkCall> calls;
};
StreamRecorder* g_pRecorder = nullptr;

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

DWORD CALLBACK RecordingStreamOut(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    ChunkCall call = {std::string(reinterpret_cast<const char*>(pbBuffer), cb > 0 ? static_cast<size_t>(cb) : 0), cb,
                      -1, 0, false};
    call.dwResult = StreamOutCallback(dwCookie, pbBuffer, cb, pcb);
    call.nTaken = *pcb;
    call.bFileClosedAfter = FileIsClosed(g_pRecorder->path);
    g_pRecorder->calls.push_back(call);
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
    StreamRecorder recorder = {path, {}};
    g_pRecorder = &recorder;
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, RecordingStreamOut};
    ::SendMessageA(host.Dialog().m_richLog.m_hWnd, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&es));
    g_pRecorder = nullptr;
    return {recorder.calls, es.dwError, pCookie != nullptr ? pCookie->dwOffset : 0};
}

StreamResult SaveReportTo(TestDialogHost& host, const std::string& path)
{
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
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

LONGLONG FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
} // namespace

// ---------------------------------------------------------------------------
// The callback on its own.

TEST(StreamOutCallback, RefusesEachArgumentFault)
{
    const std::string path = TempFile("refused.rtf");
    DeleteFileIfAny(path);
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
    ASSERT_NE(pCookie, nullptr);
    BYTE abChunk[] = "{\\rtf1 x}";

    struct Case
    {
        const char* pszName;
        bool bCookie;
        bool bBuffer;
        LONG cb;
    };
    const Case kCases[] = {
        {"null cookie", false, true, 9},
        {"null buffer", true, false, 9},
        {"length 0", true, true, 0},
        {"length -1", true, true, -1},
        {"length INT_MIN", true, true, LONG_MIN},
        {"everything missing", false, false, 0},
    };
    for (const Case& c : kCases)
    {
        LONG nTaken = 4711;
        const DWORD dwResult = StreamOutCallback(c.bCookie ? reinterpret_cast<DWORD_PTR>(pCookie) : 0,
                                                 c.bBuffer ? abChunk : nullptr, c.cb, &nTaken);
        EXPECT_EQ(dwResult, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.pszName;
        EXPECT_EQ(nTaken, 0) << c.pszName;
        EXPECT_EQ(pCookie->dwOffset, 0u) << c.pszName;
        EXPECT_FALSE(FileExists(path)) << c.pszName << ": " << path << " was created";
    }
    ::GlobalFree(pCookie);
}

TEST(StreamOutCallback, MemoryModeWritesNothing)
{
    // The memory cookie's text is a path: nothing may be written there.
    const std::string path = TempFile("memory-mode.rtf");
    DeleteFileIfAny(path);
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), FALSE);
    ASSERT_NE(pCookie, nullptr);
    BYTE abChunk[] = "{\\rtf1 x}";
    LONG nTaken = 4711;
    EXPECT_EQ(StreamOutCallback(reinterpret_cast<DWORD_PTR>(pCookie), abChunk, 9, &nTaken), 0u);
    EXPECT_EQ(nTaken, 0);
    EXPECT_EQ(pCookie->dwOffset, 0u);
    EXPECT_FALSE(FileExists(path));

    // Through the control: it stops at the first chunk that is not taken.
    TestDialogHost host;
    host.Dialog().WriteLog("Some report text", LOG_TEXT);
    const StreamResult result = SaveReportTo(host, path, pCookie);
    EXPECT_EQ(result.calls.size(), 1u) << DescribeCalls(result.calls);
    EXPECT_EQ(result.dwCookieOffset, 0u);
    EXPECT_FALSE(FileExists(path));
    ::GlobalFree(pCookie);
}

TEST(StreamOutCallback, FirstChunkReplacesLaterChunksAppendFileClosedBetween)
{
    const std::string path = TempFile("direct.rtf");
    ASSERT_TRUE(WriteFileBytes(path, std::string(5000, 'O') + "old tail"));
    StreamCookie* pCookie = CreateStreamCookie(path.c_str(), TRUE);
    ASSERT_NE(pCookie, nullptr);

    const char* const kChunks[] = {"{\\rtf1 first", " second", " third}"};
    std::string expected;
    for (const char* pszChunk : kChunks)
    {
        std::string chunk = pszChunk;
        LONG nTaken = -1;
        const DWORD dwResult =
            StreamOutCallback(reinterpret_cast<DWORD_PTR>(pCookie), reinterpret_cast<LPBYTE>(&chunk[0]),
                              static_cast<LONG>(chunk.size()), &nTaken);
        expected += chunk;
        EXPECT_EQ(dwResult, 0u) << "chunk \"" << chunk << "\"";
        EXPECT_EQ(nTaken, static_cast<LONG>(chunk.size())) << "chunk \"" << chunk << "\"";
        EXPECT_EQ(pCookie->dwOffset, expected.size()) << "chunk \"" << chunk << "\"";
        EXPECT_EQ(ReadFileBytes(path), expected) << "after chunk \"" << chunk << "\"";
        EXPECT_TRUE(FileIsClosed(path)) << "the file is still open after chunk \"" << chunk << "\"";
    }
    ::GlobalFree(pCookie);
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// The whole report through EM_STREAMOUT.

TEST(SaveReportStream, LongReportArrivesChunkByChunkInOrder)
{
    TestDialogHost host;
    WriteLongReport(host, 3000);
    const std::string report = host.ReportText();
    const std::string before = StateOf(host);
    ASSERT_EQ(SplitLines(report).size(), 3000u + 3000u / 5) << "the report did not take every line";

    const std::string path = TempFile("long.rtf");
    DeleteFileIfAny(path);
    const long nHandlesBefore = CountProcessHandles(::GetCurrentProcessId());
    const StreamResult result = SaveReportTo(host, path);
    EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nHandlesBefore) << "handles after the stream";

    ASSERT_GT(result.calls.size(), 1u) << "the RTF fitted into one chunk; the report is too short for this test";
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
    EXPECT_EQ(FileSize(path), nSum) << DescribeCalls(result.calls);
    EXPECT_EQ(static_cast<LONGLONG>(result.dwCookieOffset), nSum);
    const std::string saved = ReadFileBytes(path);
    EXPECT_TRUE(saved == Concatenated(result.calls, result.calls.size()))
        << "the file is not the chunks in the order the control delivered them";
    EXPECT_EQ(saved.compare(0, 5, "{\\rtf"), 0) << "not RTF: " << saved.substr(0, 40);
    EXPECT_EQ(RtfToPlainText(saved), report) << "the saved RTF does not read back as the report";

    EXPECT_EQ(StateOf(host), before);
    DeleteFileIfAny(path);
}

TEST(SaveReportStream, ReplacesLargerFileWithoutTailAndSavesTheSameTwice)
{
    TestDialogHost host;
    WriteLongReport(host, 40);
    const std::string path = TempFile("over-larger.rtf");
    const std::string oldContent = std::string(300000, 'X') + "END OF THE OLD FILE";
    ASSERT_TRUE(WriteFileBytes(path, oldContent));

    const StreamResult first = SaveReportTo(host, path);
    const std::string firstBytes = ReadFileBytes(path);
    ASSERT_FALSE(first.calls.empty());
    EXPECT_LT(firstBytes.size(), oldContent.size()) << "this test needs a report smaller than the old file";
    EXPECT_TRUE(firstBytes == Concatenated(first.calls, first.calls.size()))
        << "file of " << firstBytes.size() << " bytes, chunks " << DescribeCalls(first.calls);
    EXPECT_EQ(firstBytes.find("END OF THE OLD FILE"), std::string::npos) << "the old tail is still there";
    EXPECT_EQ(firstBytes.find("XXXX"), std::string::npos) << "old content is still there";

    const StreamResult second = SaveReportTo(host, path);
    EXPECT_TRUE(ReadFileBytes(path) == firstBytes)
        << "the second save differs: " << ReadFileBytes(path).size() << " bytes against " << firstBytes.size();
    EXPECT_EQ(second.dwCookieOffset, first.dwCookieOffset);
    DeleteFileIfAny(path);
}

TEST(SaveReportStream, FileHeldOpenByAnotherProcessIsLeftAlone)
{
    TestDialogHost host;
    WriteLongReport(host, 20);
    const std::string before = StateOf(host);
    const std::string path = TempFile("held.rtf");
    ASSERT_TRUE(WriteFileBytes(path, "held by another program"));
    {
        HeldFile held(path);
        ASSERT_TRUE(held.Holding()) << "the holder process could not open " << path;
        const StreamResult result = SaveReportTo(host, path);
        ASSERT_EQ(result.calls.size(), 1u)
            << "the control went on after a refused chunk: " << DescribeCalls(result.calls);
        EXPECT_EQ(result.calls[0].dwResult, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(result.calls[0].nTaken, 0);
        EXPECT_EQ(result.dwError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(result.dwCookieOffset, 0u);
    }
    EXPECT_EQ(ReadFileBytes(path), "held by another program");
    EXPECT_EQ(StateOf(host), before);
    DeleteFileIfAny(path);
}

TEST(SaveReportStream, PathInMissingFolderCreatesNothing)
{
    TestDialogHost host;
    host.Dialog().WriteLog("Some report text", LOG_TEXT);
    const std::string folder = TempFile("no-such-folder");
    const std::string path = folder + "\\report.rtf";
    const StreamResult result = SaveReportTo(host, path);
    ASSERT_EQ(result.calls.size(), 1u) << DescribeCalls(result.calls);
    EXPECT_EQ(result.calls[0].dwResult, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(result.calls[0].nTaken, 0);
    EXPECT_FALSE(FileExists(folder)) << folder;
    EXPECT_FALSE(FileExists(path)) << path;
}

TEST(SaveReportStream, UnallocatedCookieRefusesTheFirstChunk)
{
    TestDialogHost host;
    host.Dialog().WriteLog("Some report text", LOG_TEXT);
    const std::string path = TempFile("no-cookie.rtf");
    DeleteFileIfAny(path);
    StreamCookie* pCookie = nullptr;
    {
        g_dwAllocError = ERROR_NOT_ENOUGH_MEMORY;
        SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> noMemory(g_SystemCalls.GlobalAlloc, FaultyGlobalAlloc);
        pCookie = CreateStreamCookie(path.c_str(), TRUE);
    }
    ASSERT_EQ(pCookie, nullptr);
    const StreamResult result = SaveReportTo(host, path, pCookie);
    ASSERT_EQ(result.calls.size(), 1u) << DescribeCalls(result.calls);
    EXPECT_EQ(result.calls[0].dwResult, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(result.calls[0].nTaken, 0);
    EXPECT_FALSE(FileExists(path));
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

struct SeamFault
{
    FailingCall call;
    int nChunk;         // 1-based: the chunk whose call fails
    DWORD dwLastError;  // what the failing call leaves in GetLastError
    DWORD dwBytesFirst; // WriteFile only: bytes it writes before failing
};

SeamFault g_fault;
int g_nCallsSeen = 0;

HANDLE WINAPI FaultyCreateFileA(LPCSTR pszName, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                DWORD dwDisposition, DWORD dwFlags, HANDLE hTemplate)
{
    if (g_fault.call == FailingCall::CreateFile && ++g_nCallsSeen == g_fault.nChunk)
    {
        ::SetLastError(g_fault.dwLastError);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileA(pszName, dwAccess, dwShare, pSecurity, dwDisposition, dwFlags, hTemplate);
}

DWORD WINAPI FaultySetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod)
{
    if (g_fault.call == FailingCall::SetFilePointer && ++g_nCallsSeen == g_fault.nChunk)
    {
        ::SetLastError(g_fault.dwLastError);
        return INVALID_SET_FILE_POINTER;
    }
    return ::SetFilePointer(hFile, lDistance, plDistanceHigh, dwMethod);
}

BOOL WINAPI FaultyWriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten,
                            LPOVERLAPPED pOverlapped)
{
    if (g_fault.call == FailingCall::WriteFile && ++g_nCallsSeen == g_fault.nChunk)
    {
        const DWORD dwPart = g_fault.dwBytesFirst < dwToWrite ? g_fault.dwBytesFirst : dwToWrite;
        *pdwWritten = 0;
        if (dwPart > 0)
            ::WriteFile(hFile, pBuffer, dwPart, pdwWritten, pOverlapped);
        ::SetLastError(g_fault.dwLastError);
        return FALSE;
    }
    return ::WriteFile(hFile, pBuffer, dwToWrite, pdwWritten, pOverlapped);
}

const char* NameOf(FailingCall call)
{
    switch (call)
    {
    case FailingCall::CreateFile:
        return "CreateFileA";
    case FailingCall::SetFilePointer:
        return "SetFilePointer";
    case FailingCall::WriteFile:
        return "WriteFile";
    }
    return "?";
}
} // namespace

TEST(SaveReportStream, FailingFileCallStopsTheStreamAndKeepsEarlierChunks)
{
    TestDialogHost host;
    WriteLongReport(host, 600);
    const std::string before = StateOf(host);
    const std::string path = TempFile("seam.rtf");
    const std::string oldContent = "the file as it was before the save";

    struct Case
    {
        SeamFault fault;
        DWORD dwExpectedResult; // 0: any non-zero code
    };
    const Case kCases[] = {
        // A read-only target: the open fails with access denied, the old content stays.
        {{FailingCall::CreateFile, 1, ERROR_ACCESS_DENIED, 0}, ERROR_ACCESS_DENIED},
        {{FailingCall::CreateFile, 3, ERROR_SHARING_VIOLATION, 0}, ERROR_SHARING_VIOLATION},
        {{FailingCall::SetFilePointer, 1, ERROR_SEEK, 0}, ERROR_SEEK},
        {{FailingCall::SetFilePointer, 2, ERROR_NEGATIVE_SEEK, 0}, ERROR_NEGATIVE_SEEK},
        {{FailingCall::WriteFile, 1, ERROR_DISK_FULL, 0}, ERROR_DISK_FULL},
        {{FailingCall::WriteFile, 2, ERROR_DISK_FULL, 1000}, ERROR_DISK_FULL},
        {{FailingCall::WriteFile, 3, ERROR_WRITE_FAULT, 1}, ERROR_WRITE_FAULT},
        // A failure that leaves no reason must still stop the stream.
        {{FailingCall::CreateFile, 2, ERROR_SUCCESS, 0}, 0},
        {{FailingCall::SetFilePointer, 2, ERROR_SUCCESS, 0}, 0},
        {{FailingCall::WriteFile, 2, ERROR_SUCCESS, 10}, 0},
    };

    SystemCallOverride<decltype(g_SystemCalls.CreateFileA)> createFile(g_SystemCalls.CreateFileA, FaultyCreateFileA);
    SystemCallOverride<decltype(g_SystemCalls.SetFilePointer)> setFilePointer(g_SystemCalls.SetFilePointer,
                                                                              FaultySetFilePointer);
    SystemCallOverride<decltype(g_SystemCalls.WriteFile)> writeFile(g_SystemCalls.WriteFile, FaultyWriteFile);
    const long nHandlesBefore = CountProcessHandles(::GetCurrentProcessId());
    for (const Case& c : kCases)
    {
        std::ostringstream name;
        name << NameOf(c.fault.call) << " failing on chunk " << c.fault.nChunk << " with last error "
             << c.fault.dwLastError << " after " << c.fault.dwBytesFirst << " bytes";
        ASSERT_TRUE(WriteFileBytes(path, oldContent));
        g_fault = c.fault;
        g_nCallsSeen = 0;
        const StreamResult result = SaveReportTo(host, path);

        ASSERT_EQ(result.calls.size(), static_cast<size_t>(c.fault.nChunk))
            << name.str() << ": the stream must stop at the failing chunk; " << DescribeCalls(result.calls);
        const ChunkCall& failed = result.calls.back();
        if (c.dwExpectedResult != 0)
        {
            EXPECT_EQ(failed.dwResult, c.dwExpectedResult) << name.str();
        }
        else
        {
            EXPECT_NE(failed.dwResult, 0u) << name.str() << ": a failure answered as success";
        }
        EXPECT_EQ(result.dwError, failed.dwResult) << name.str();
        const LONG nExpectedTaken =
            c.fault.call == FailingCall::WriteFile ? static_cast<LONG>(c.fault.dwBytesFirst) : 0;
        EXPECT_EQ(failed.nTaken, nExpectedTaken) << name.str();
        EXPECT_TRUE(failed.bFileClosedAfter) << name.str() << ": the file stayed open";

        const std::string expected =
            c.fault.call == FailingCall::CreateFile && c.fault.nChunk == 1
                ? oldContent
                : Concatenated(result.calls, result.calls.size() - 1) + failed.chunk.substr(0, nExpectedTaken);
        EXPECT_TRUE(ReadFileBytes(path) == expected)
            << name.str() << ": file of " << ReadFileBytes(path).size() << " bytes, expected " << expected.size();
        EXPECT_EQ(result.dwCookieOffset, c.fault.call == FailingCall::CreateFile && c.fault.nChunk == 1
                                             ? 0u
                                             : static_cast<DWORD>(expected.size()))
            << name.str();
    }
    EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nHandlesBefore) << "handles after the failed saves";
    EXPECT_EQ(StateOf(host), before);
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// A save while the check thread writes: the stream is one message, so no
// write lands inside it.

namespace
{
struct WriterJob
{
    CUsbInstallationTestDlg* pDialog;
    int nLines;
};

DWORD WINAPI WriteLinesProc(LPVOID pParam)
{
    const WriterJob* pJob = static_cast<const WriterJob*>(pParam);
    for (int i = 0; i < pJob->nLines; ++i)
    {
        char szLine[64];
        wsprintfA(szLine, "Line %04d written during a save", i);
        pJob->pDialog->WriteLog(szLine, i % 2 == 0 ? LOG_TEXT : LOG_RESULT_OK);
    }
    return 0;
}
} // namespace

TEST(SaveReportStream, SaveWhileWritingHoldsTheReportAsItStoodWritesGoOn)
{
    TestDialogHost host;
    const int nLines = 400;
    ::ShowWindow(host.Dialog().m_richLog.m_hWnd, SW_HIDE);
    WriterJob job = {&host.Dialog(), nLines};
    const HANDLE hWriter = ::CreateThread(nullptr, 0, WriteLinesProc, &job, 0, nullptr);
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
    ASSERT_EQ(lines.size(), static_cast<size_t>(nLines)) << "the writes did not all arrive after the save";
    for (int i = 0; i < nLines; ++i)
    {
        char szExpected[96];
        wsprintfA(szExpected, "%sLine %04d written during a save", i % 2 == 0 ? "" : "... Result:   ", i);
        ASSERT_EQ(lines[static_cast<size_t>(i)], szExpected) << "line " << i;
    }
    EXPECT_LT(SplitLines(beforeStream).size(), static_cast<size_t>(nLines)) << "the save came after the writes";
    DeleteFileIfAny(path);
}

// ---------------------------------------------------------------------------
// OnSave with the real save dialog, driven from a second thread.

namespace
{
struct SaveOutcome
{
    SaveDialogSeen seen;
    std::vector<std::string> shownAfter; // windows shown once the dialog closed
};

SaveOutcome ClickSave(TestDialogHost& host, const SaveDialogScript& script)
{
    SaveDialogDriverThread driver(host.Hwnd(), script);
    host.Click(IDC_BUTTON_SAVE);
    return {driver.Result(), driver.WindowsShownAfterwards()};
}
} // namespace

TEST(OnSave, WritesTheChosenFileWithTheDefaultExtension)
{
    TestDialogHost host;
    WriteLongReport(host, 30);
    const std::string report = host.ReportText();
    const std::string before = StateOf(host);
    const std::string base = TempFile("chosen");
    DeleteFileIfAny(base);
    DeleteFileIfAny(base + ".rtf");

    SaveDialogScript script;
    script.fileName = base;
    const SaveOutcome outcome = ClickSave(host, script);
    const SaveDialogSeen& seen = outcome.seen;
    ASSERT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    const std::vector<std::string> kFilters = {"Text Files (*.rtf)", "All Files (*.*)"};
    EXPECT_EQ(seen.filterEntries, kFilters) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.nFilterSelected, 0) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.initialFileName, "") << DescribeSaveDialog(seen);
    EXPECT_FALSE(seen.bReadOnlyBoxVisible) << DescribeSaveDialog(seen);
    EXPECT_FALSE(seen.bOverwriteAsked) << DescribeSaveDialog(seen);
    EXPECT_TRUE(outcome.shownAfter.empty()) << "shown after the save: " << Joined(outcome.shownAfter);

    EXPECT_FALSE(FileExists(base)) << "the name was taken without the default extension";
    ASSERT_TRUE(FileExists(base + ".rtf"));
    EXPECT_EQ(RtfToPlainText(ReadFileBytes(base + ".rtf")), report);
    EXPECT_EQ(StateOf(host), before);
    DeleteFileIfAny(base + ".rtf");
}

TEST(OnSave, FailuresWriteNothingAndShowNothing)
{
    TestDialogHost host;
    WriteLongReport(host, 30);
    const std::string before = StateOf(host);
    const std::string oldContent = "the file as it was before the save";

    struct Case
    {
        const char* pszName;
        const char* pszFile; // without extension, in the temp folder
        bool bExisting;      // an existing file: the overwrite question is answered Yes
        bool bHeld;
        DWORD dwFailingAlloc;
        DWORD dwFailingOpen;
    };
    const Case kCases[] = {
        {"cookie not allocated, new file", "no-cookie", false, false, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"cookie not allocated, existing file", "no-cookie-existing", true, false, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"held by another process", "held", true, true, 0, 0},
        {"read-only target", "read-only", true, false, 0, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : kCases)
    {
        const std::string path = TempFile(c.pszFile) + ".rtf";
        DeleteFileIfAny(path);
        if (c.bExisting)
        {
            ASSERT_TRUE(WriteFileBytes(path, oldContent)) << c.pszName;
        }

        SaveOutcome outcome;
        {
            std::unique_ptr<HeldFile> pHeld(c.bHeld ? new HeldFile(path) : nullptr);
            if (pHeld)
            {
                EXPECT_TRUE(pHeld->Holding()) << c.pszName;
            }
            g_dwAllocError = c.dwFailingAlloc;
            g_fault = {FailingCall::CreateFile, c.dwFailingOpen != 0 ? 1 : 0, c.dwFailingOpen, 0};
            g_nCallsSeen = 0;
            SystemCallOverride<decltype(g_SystemCalls.GlobalAlloc)> alloc(g_SystemCalls.GlobalAlloc, FaultyGlobalAlloc);
            SystemCallOverride<decltype(g_SystemCalls.CreateFileA)> open(g_SystemCalls.CreateFileA, FaultyCreateFileA);
            SaveDialogScript script;
            script.fileName = TempFile(c.pszFile);
            script.nOverwriteAnswer = c.bExisting ? IDYES : 0;
            outcome = ClickSave(host, script);
        }
        const SaveDialogSeen& seen = outcome.seen;
        EXPECT_TRUE(seen.bClosed && seen.problem.empty()) << c.pszName << ": " << DescribeSaveDialog(seen);
        EXPECT_EQ(seen.bOverwriteAsked, c.bExisting) << c.pszName << ": " << DescribeSaveDialog(seen);
        EXPECT_TRUE(outcome.shownAfter.empty()) << c.pszName << ": shown " << Joined(outcome.shownAfter);
        if (c.bExisting)
        {
            EXPECT_EQ(ReadFileBytes(path), oldContent) << c.pszName;
        }
        else
        {
            EXPECT_FALSE(FileExists(path)) << c.pszName;
        }
        EXPECT_EQ(StateOf(host), before) << c.pszName;
        DeleteFileIfAny(path);
    }
}

TEST(OnSave, CancelWritesNothing)
{
    TestDialogHost host;
    WriteLongReport(host, 10);
    const std::string before = StateOf(host);
    const std::string folder = TempFile("cancel");
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);

    SaveDialogScript script;
    script.fileName = folder + "\\cancelled";
    script.bCancel = true;
    const SaveOutcome outcome = ClickSave(host, script);
    EXPECT_TRUE(outcome.seen.bClosed && outcome.seen.problem.empty()) << DescribeSaveDialog(outcome.seen);
    EXPECT_TRUE(outcome.shownAfter.empty()) << "shown after the cancel: " << Joined(outcome.shownAfter);

    const std::vector<std::string> names = FilesIn(folder);
    EXPECT_TRUE(names.empty()) << "files after a cancel: " << Joined(names);
    EXPECT_EQ(StateOf(host), before);
    ::RemoveDirectoryA(folder.c_str());
}
