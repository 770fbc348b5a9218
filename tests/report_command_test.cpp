// The report without the dialog, "/report FILE [/simple]": its command line,
// and through the real executable the exit codes, the file against the
// dialog's own save, no window ever visible, and bad targets that leave
// everything as it was. In the process itself: a write that fails half-way
// and a run that cannot start.
#include "app/ReportCommand.h"
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HeldFile.h"
#include "support/RtfText.h"
#include "support/SaveDialog.h"
#include "support/SeamFaults.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <memory>

namespace
{
// An earlier report: a file that is neither RTF nor empty is refused.
const char kOldContent[] = "{\\rtf1 the report of an earlier run}";
// The report's last lines, as the file holds them.
std::string Summary(bool bSucceeded)
{
    return ExpectedReport(false).Summary(bSucceeded).Text();
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// The report's text as a rich edit control reads the file.
std::string ReportIn(const std::string& path)
{
    return RtfToPlainText(ReadFileBytes(path));
}

// Two instruments of one model, the second never answering: the run waits 2 s for it.
const char kSecondOfTwoSilent[] = "[device0]\ndescription = Lab instrument\n"
                                  "[device1]\ndescription = Lab instrument\nsilent = 1\n";

// /report on FILE, its one instrument held at its open until the hold is let
// go.
struct HeldOpenReport
{
    HeldOpenReport(const std::string& path, const std::string& device)
        : scenario("[device0]\n" + device + "hold_event = " + hold.Name() + "\n"),
          ui(nullptr, std::string(), "/report " + Quoted(path)),
          release(hold)
    {
    }
    bool ReachedTheOpen()
    {
        return ui.Started() && ui.WaitUntil([this] { return Contains(ui.ReportText(), DetailLine(Text::kOpen)); });
    }

    DeviceHold hold;
    ScenarioFile scenario;
    UiHarness ui;
    const DeviceHold::ReleaseFirst release;
};

} // namespace

TEST(ReportCommand, CommandLines)
{
    const DWORD kBad = ERROR_INVALID_PARAMETER;
    struct Case
    {
        const char* pszCommandLine;
        BOOL bReport;
        BOOL bSimple;
        const char* pszPath;
        DWORD dwError;
    } const cases[] = {
        {"\"C:\\Program Files\\UsbInstallationTest.exe\"", FALSE, FALSE, "", 0},
        {"UsbInstallationTest.exe", FALSE, FALSE, "", 0},
        {"UsbInstallationTest.exe /simple", FALSE, TRUE, "", 0},
        {"UsbInstallationTest.exe something else", FALSE, FALSE, "", 0},
        {"UsbInstallationTest.exe /report out.rtf", TRUE, FALSE, "out.rtf", 0},
        {"UsbInstallationTest.exe -REPORT out.rtf", TRUE, FALSE, "out.rtf", 0},
        {"UsbInstallationTest.exe /Report out.rtf -Simple", TRUE, TRUE, "out.rtf", 0},
        {"UsbInstallationTest.exe /SIMPLE /report out.rtf", TRUE, TRUE, "out.rtf", 0},
        {"\"C:\\my tools\\UsbInstallationTest.exe\"\t/report   \"C:\\my reports\\a b.rtf\"", TRUE, FALSE,
         "C:\\my reports\\a b.rtf", 0},
        {"x.exe /report C:\\r\\\"quoted\\\".rtf", TRUE, FALSE, "C:\\r\"quoted\".rtf", 0},
        {"x.exe /report \"C:\\r\\\\\"", TRUE, FALSE, "C:\\r\\", 0},
        {"x.exe /report .\\-out.rtf", TRUE, FALSE, ".\\-out.rtf", 0},
        // Full-width letter and backslash, Cyrillic, Polish: no ANSI code page
        // has them all; FILE has them as they stand.
        {"x.exe /report \"C:\\r\\ａ＼ж ł.rtf\"", TRUE, FALSE, "C:\\r\\ａ＼ж ł.rtf", 0},
        {"x.exe /report", TRUE, FALSE, "", kBad},
        {"x.exe /report \"\"", TRUE, FALSE, "", kBad},
        {"x.exe /report \" \"", TRUE, FALSE, " ", kBad},
        {"x.exe /report \" \t \" /simple", TRUE, TRUE, " \t ", kBad},
        {"x.exe /report /simple", TRUE, TRUE, "", kBad},
        {"x.exe /report /simple out.rtf", TRUE, TRUE, "", kBad},
        {"x.exe /report a.rtf b.rtf", TRUE, FALSE, "a.rtf", kBad},
        {"x.exe /report a.rtf /details", TRUE, FALSE, "a.rtf", kBad},
        // A switch is never FILE, known or not.
        {"x.exe /report /details", TRUE, FALSE, "", kBad},
        {"x.exe /report -out.rtf", TRUE, FALSE, "", kBad},
        {"x.exe /report a.rtf /report b.rtf", TRUE, FALSE, "b.rtf", kBad},
        // Switches meant as /report.
        {"x.exe /report:a.rtf", TRUE, FALSE, "", kBad},
        {"x.exe /REPORT=a.rtf", TRUE, FALSE, "", kBad},
        {"x.exe --report a.rtf", TRUE, FALSE, "", kBad},
        {"x.exe //report a.rtf /simple", TRUE, TRUE, "", kBad},
        {"x.exe /report --report", TRUE, FALSE, "", kBad},
        {"x.exe /reports a.rtf", FALSE, FALSE, "", 0},
        {"x.exe /report2 a.rtf", FALSE, FALSE, "", 0},
    };
    for (const Case& c : cases)
    {
        const ReportCommand command = ParseReportCommand(Wide(c.pszCommandLine).c_str());
        EXPECT_EQ(command.bReport, c.bReport) << c.pszCommandLine;
        EXPECT_EQ(command.bSimple, c.bSimple) << c.pszCommandLine;
        EXPECT_EQ(Utf8(command.path), c.pszPath) << c.pszCommandLine;
        EXPECT_EQ(command.dwError, c.dwError) << c.pszCommandLine;
    }
}

TEST(ReportCommand, DemoInstallationGivesZeroAndWhatTheDialogSaves)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    const std::string dialogRtf = WinePath(REPORT_RTF_DIR "/report_command_dialog.rtf");
    const std::string reportRtf = WinePath(REPORT_RTF_DIR "/report_command_report.rtf");
    DeleteFileIfAny(dialogRtf);
    DeleteFileIfAny(reportRtf);

    // The dialog: a simple run, then the detailed one, saved.
    std::string simpleReport;
    {
        UiHarness ui;
        ASSERT_TRUE(ui.Started());
        // The count that must stay 0 without the dialog sees the dialog here.
        EXPECT_EQ(ui.VisibleWindows(), 1);
        ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
        simpleReport = ui.ReportText();
        ui.Click(IDC_BUTTON_DETAILS);
        ASSERT_TRUE(ui.WaitUntil([&ui] { return ui.RunEnded(); })) << ui.ReportText();
        SaveDialogScript script;
        script.fileName = dialogRtf;
        const SaveDialogSeen seen = SaveFromProduct(ui.ProcessId(), ui.Dialog(), script);
        ASSERT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
        // The application's main window owns it, which only the real program has.
        EXPECT_EQ(seen.hwndOwner, ui.Dialog()) << "the save dialog is not owned by the check dialog";
        EXPECT_TRUE(ui.Close());
    }
    ASSERT_TRUE(EndsWith(simpleReport, Summary(true))) << simpleReport;

    // Over an existing file; its old content goes.
    ASSERT_TRUE(WriteFileBytes(reportRtf, kOldContent));
    EXPECT_EQ(RunToEnd("/report " + Quoted(reportRtf)), REPORT_EXIT_SUCCEEDED);
    const std::string detailed = ReportIn(reportRtf);
    EXPECT_EQ(MaskResponseTimes(detailed), MaskResponseTimes(ReportIn(dialogRtf)));
    EXPECT_EQ(CountOf(detailed, "\t" + std::string(Text::kResponseTime)), 1u) << detailed;
    EXPECT_TRUE(EndsWith(detailed, Summary(true))) << detailed;
    // tests/report_rtf_check.sh compares the two files read by unrtf.

    // /simple before /report, and a FILE relative to the current directory,
    // empty as a script may have made it.
    const ScratchFolder current("report-relative");
    ASSERT_TRUE(WriteFileBytes(current.Path() + "\\relative.rtf", ""));
    EXPECT_EQ(RunToEnd("-SIMPLE -Report relative.rtf", current.Path().c_str()), REPORT_EXIT_SUCCEEDED);
    EXPECT_EQ(FilesIn(current.Path()), std::vector<std::string>{"relative.rtf"}) << Joined(FilesIn(current.Path()));
    EXPECT_EQ(ReportIn(current.Path() + "\\relative.rtf"), simpleReport);

    // A missing file is a warning: the summary and the exit code both say
    // that the report has something to look at.
    ::DeleteFileA(SystemFilePath(kUninstallIni).c_str());
    EXPECT_EQ(RunToEnd("/report relative.rtf /simple", current.Path().c_str()), REPORT_EXIT_FINISHED);
    const std::string warned = ReportIn(current.Path() + "\\relative.rtf");
    EXPECT_TRUE(Contains(warned, "... Result:   Warning")) << warned;
    EXPECT_TRUE(EndsWith(warned, Summary(false))) << warned;
}

TEST(ReportCommand, SilentDeviceGivesOneAndNoWindowIsEverVisibleOrActive)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    ScenarioFile scenario(kSecondOfTwoSilent);
    const ScratchFolder scratch("report-silent");
    const std::string path = scratch.Path() + "\\silent.rtf";
    ASSERT_TRUE(WriteFileBytes(path, kOldContent));

    UiHarness ui(nullptr, std::string(), "/report " + Quoted(path));
    ASSERT_TRUE(ui.Started()) << "no report window in the process";
    // Visible neither after its creation nor during the run.
    EXPECT_EQ(ui.VisibleWindows(), 0);
    // In its wait for the silent instrument.
    ASSERT_TRUE(ui.WaitUntil([&ui] { return Contains(ui.ReportText(), Text::kSend) && !ui.RunEnded(); }))
        << ui.ReportText();
    EXPECT_EQ(ui.VisibleWindows(), 0);
    EXPECT_FALSE(::IsWindowVisible(ui.Dialog()));
    // Nor does it take the keyboard from the window the user works in.
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(ui.Dialog(), nullptr), &thread));
    EXPECT_EQ(thread.hwndActive, nullptr);
    EXPECT_EQ(thread.hwndFocus, nullptr);
    EXPECT_TRUE(ReadFileBytes(path) == kOldContent) << "FILE changed before the run ended";

    ASSERT_TRUE(ui.WaitForExit(60000));
    EXPECT_EQ(ui.ExitCode(), REPORT_EXIT_FINISHED);
    const std::string report = ReportIn(path);
    // The second's warning; whom each open reaches is the device test's.
    EXPECT_TRUE(Contains(report, DetailLine(Text::kTimeout))) << report;
    EXPECT_TRUE(EndsWith(report, Summary(false))) << report;
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"silent.rtf"}) << Joined(FilesIn(scratch.Path()));
}

TEST(ReportCommand, FileHeldOpenForAMomentOrToTheEndOrDialogClosedTwiceDuringTheRun)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    TraceFile trace;
    const ScratchFolder scratch("report-held");
    const std::string path = scratch.Path() + "\\held.rtf";

    // Held from the middle of the run on, while the run waits at an
    // instrument held at its open. A moment's hold, as a virus scanner's, is
    // waited out; after about 2 s the report is given up with
    // ERROR_SHARING_VIOLATION, and FILE stays as it was.
    for (const bool bMoment : {true, false})
    {
        ASSERT_TRUE(WriteFileBytes(path, kOldContent));
        HeldOpenReport run(path, "description = Held instrument\n");
        UiHarness& ui = run.ui;
        ASSERT_TRUE(run.ReachedTheOpen()) << ui.ReportText();
        std::unique_ptr<HeldFile> held(new HeldFile(path));
        ASSERT_TRUE(held->Holding());
        const size_t nCloses = trace.Calls("FT_Close").size();
        const DWORD dwReleased = ::GetTickCount();
        run.hold.Release();
        // Once the device is closed the report's first move fails at once;
        // the reader lets go a moment later.
        if (bMoment && ui.WaitUntil([&] { return trace.Calls("FT_Close").size() > nCloses; }))
        {
            ::Sleep(500);
            held.reset();
        }
        ASSERT_TRUE(ui.WaitForExit(60000));
        EXPECT_EQ(ui.ExitCode(), bMoment ? REPORT_EXIT_SUCCEEDED : ERROR_SHARING_VIOLATION) << "moment " << bMoment;
        EXPECT_GE(::GetTickCount() - dwReleased, bMoment ? 0u : 1900u) << "given up before a moment's hold had passed";
        held.reset();
        EXPECT_TRUE(bMoment ? Contains(ReportIn(path), "Held instrument") : ReadFileBytes(path) == kOldContent);
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"held.rtf"}) << Joined(FilesIn(scratch.Path()));
    }

    // The hidden window closed during the run, as another program closes it
    // (taskkill), twice: the run is cancelled and there is no report to
    // write. The first close waits for the held open, and the second, during
    // that wait, does not take the window away.
    {
        ASSERT_TRUE(WriteFileBytes(path, kOldContent));
        HeldOpenReport run(path, "silent = 1\n");
        UiHarness& ui = run.ui;
        ASSERT_TRUE(run.ReachedTheOpen()) << ui.ReportText();
        const auto close = [&ui](DWORD dwTimeoutMs) {
            DWORD_PTR dwIgnored = 0;
            return ::SendMessageTimeoutA(ui.Dialog(), WM_CLOSE, 0, 0, SMTO_NORMAL, dwTimeoutMs, &dwIgnored);
        };
        ASSERT_FALSE(close(1000)) << "the close did not wait for the held open";
        close(60000);
        EXPECT_TRUE(::IsWindow(ui.Dialog())) << "the second close took the window while the first waited";
        run.hold.Release();
        ASSERT_TRUE(ui.WaitForExit(kStateWaitMs)) << "the report command never ended";
        EXPECT_EQ(ui.ExitCode(), static_cast<DWORD>(ERROR_CANCELLED));
        EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"held.rtf"}) << Joined(FilesIn(scratch.Path()));
    }

    // Windows ends the session during the run, as Restart Manager does (the
    // dialog's case has a log-off): the end is not held up, the run is
    // cancelled, and the temporary file is gone before the handler returns,
    // after which Windows may end the process; left alone, it ends by itself
    // with 1223.
    {
        HeldOpenReport run(path, "silent = 1\n");
        UiHarness& ui = run.ui;
        ASSERT_TRUE(run.ReachedTheOpen()) << ui.ReportText();
        ASSERT_EQ(ui.EndSessionDuringARun(ENDSESSION_CLOSEAPP, run.hold), "");
        EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"held.rtf"}) << Joined(FilesIn(scratch.Path()));
        ASSERT_TRUE(ui.WaitForExit(5000)) << "the process did not end by itself";
        EXPECT_EQ(ui.ExitCode(), static_cast<DWORD>(ERROR_CANCELLED));
    }

    // Another kind of file written to FILE during the run is kept, and the
    // report refused with ERROR_FILE_EXISTS at once, also while a viewer
    // that shares it has it open: that hold is no reason to wait.
    {
        ASSERT_TRUE(WriteFileBytes(path, kOldContent));
        HeldOpenReport run(path, "description = Held instrument\n");
        UiHarness& ui = run.ui;
        ASSERT_TRUE(run.ReachedTheOpen()) << ui.ReportText();
        const std::string program = std::string("MZ\x90\0", 4) + " a program written during the run";
        ASSERT_TRUE(WriteFileBytes(path, program));
        const HeldFile viewer(path, INFINITE, true);
        ASSERT_TRUE(viewer.Holding());
        run.hold.Release();
        ASSERT_TRUE(ui.WaitForExit(60000));
        EXPECT_EQ(ui.ExitCode(), static_cast<DWORD>(ERROR_FILE_EXISTS)) << "a program held open by a viewer";
        EXPECT_TRUE(ReadFileBytes(path) == program) << "the file written during the run was replaced";
        EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"held.rtf"}) << Joined(FilesIn(scratch.Path()));
    }
}

TEST(ReportCommand, TargetsAreWrittenAsNamedOrRefusedBeforeTheRunLeavingEverythingAsItWas)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    TraceFile trace;
    const ScratchFolder scratch("report-bad");
    const std::string existing = scratch.Path() + "\\existing.rtf";
    ASSERT_TRUE(WriteFileBytes(existing, kOldContent));
    const std::string folder = scratch.Path() + "\\folder";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    std::unique_ptr<HeldFile> held(new HeldFile(existing));
    ASSERT_TRUE(held->Holding());
    const std::string library = SystemFilePath(kDriverLibrary);
    const std::string libraryBytes = ReadFileBytes(library);
    // Full-width letter and backslash, Cyrillic, Polish: the ANSI code page
    // has none of them, and would make a file "a\" of the first two.
    const std::string wide = scratch.Path() + "\\ａ＼жł.rtf";
    // In the \\?\\ form a path may be longer than MAX_PATH: 300 and more.
    const std::string longName(150, 'l');
    const std::string longFolder = scratch.Path() + "\\" + longName + "\\" + std::string(150, 'm');
    ASSERT_TRUE(::CreateDirectoryW(Wide(scratch.Path() + "\\" + longName).c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Wide("\\\\?\\" + longFolder).c_str(), nullptr));
    const std::string longPath = "\\\\?\\" + longFolder + "\\a.rtf";

    const struct
    {
        const char* pszName;
        std::string arguments;
        DWORD dwExitCode;
        std::string written = std::string(); // the file that then holds the report; empty: none
    } cases[] = {
        // The command line's faults are the CommandLines table's; one shows
        // that the program answers them.
        {"a mistyped switch", "/report:" + Quoted(scratch.Path() + "\\a.rtf"), ERROR_INVALID_PARAMETER},
        {"missing folder", "/report " + Quoted(scratch.Path() + "\\missing\\a.rtf"), ERROR_PATH_NOT_FOUND},
        {"a folder", "/report " + Quoted(folder), ERROR_ACCESS_DENIED},
        {"a folder named", "/report " + Quoted(folder + "\\\\"), ERROR_ACCESS_DENIED},
        {"held by another process", "/report " + Quoted(existing), ERROR_SHARING_VIOLATION},
        {"the driver library, no report", "/report " + Quoted(library), ERROR_FILE_EXISTS},
        {"a device", "/report \\\\.\\NUL", ERROR_FILE_NOT_FOUND},
        // /sys, where not even root may create a file.
        {"a folder nobody may write to", "/report Z:\\sys\\report.rtf", ERROR_ACCESS_DENIED},
        {"a name outside the ANSI code page", "/report " + Quoted(wide), REPORT_EXIT_SUCCEEDED, wide},
        {"a long path in the \\\\?\\ form", "/report " + Quoted(longPath), REPORT_EXIT_SUCCEEDED, longPath},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszName) + ": " + c.arguments);
        const size_t nTraced = trace.Lines().size();
        EXPECT_EQ(RunToEnd(c.arguments, scratch.Path().c_str()), c.dwExitCode);
        // A target refused before the run: the driver library was not even loaded.
        EXPECT_EQ(trace.Lines().size() > nTraced, !c.written.empty()) << Joined(trace.Lines());
        if (!c.written.empty())
        {
            EXPECT_TRUE(EndsWith(ReportIn(c.written), Summary(true))) << ReportIn(c.written);
            DeleteFileIfAny(c.written);
        }
        const std::vector<std::string> files = FilesIn(scratch.Path());
        EXPECT_EQ(files, (std::vector<std::string>{"existing.rtf", "folder", longName})) << Joined(files);
        EXPECT_TRUE(FilesIn("\\\\?\\" + longFolder).empty()) << Joined(FilesIn("\\\\?\\" + longFolder));
        EXPECT_TRUE(FilesIn(folder).empty()) << Joined(FilesIn(folder));
    }
    EXPECT_TRUE(ReadFileBytes(library) == libraryBytes) << "the driver library changed";
    ::RemoveDirectoryW(Wide("\\\\?\\" + longFolder).c_str());
    ::RemoveDirectoryW(Wide(scratch.Path() + "\\" + longName).c_str());
    ::RemoveDirectoryA(folder.c_str());
    held.reset();
    EXPECT_TRUE(ReadFileBytes(existing) == kOldContent);
}

namespace
{
// A folder where files can be created but not deleted, as its access rights
// may make it: Windows refuses a new file whose deletion is asked for with
// it, and every move out of it.
HANDLE WINAPI CreateWithoutDeleteRight(LPCWSTR pszName, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                       DWORD dwCreation, DWORD dwFlags, HANDLE hTemplate)
{
    if ((dwAccess & DELETE) == 0 || dwCreation == OPEN_EXISTING)
        return ::CreateFileW(pszName, dwAccess, dwShare, pSecurity, dwCreation, dwFlags, hTemplate);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
}

// The rule of Windows that Wine does not keep: a path of MAX_PATH characters
// or more is refused unless it has the \\?\ form.
HANDLE WINAPI CreateFileWithinMaxPath(LPCWSTR pszName, DWORD dwAccess, DWORD dwShare, LPSECURITY_ATTRIBUTES pSecurity,
                                      DWORD dwCreation, DWORD dwFlags, HANDLE hTemplate)
{
    if (std::wcslen(pszName) < MAX_PATH || std::wcsncmp(pszName, L"\\\\?\\", 4) == 0)
        return ::CreateFileW(pszName, dwAccess, dwShare, pSecurity, dwCreation, dwFlags, hTemplate);
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
}
} // namespace

TEST(ReportCommand, InProcessAWriteFailingHalfWayOrNoRunLeavesFileAsItWas)
{
    AfxInitRichEdit();
    DeviceTableOverride table({});
    const ScratchFolder scratch("report-in-process");
    const std::string path = scratch.Path() + "\\report.rtf";
    ASSERT_TRUE(WriteFileBytes(path, kOldContent));
    ReportCommand command = ParseReportCommand(Wide("x.exe /report " + Quoted(path)).c_str());
    ASSERT_TRUE(command.bReport);

    {
        // Half-way through the first chunk.
        const WriteFault fault(1, ERROR_DISK_FULL, 100);
        EXPECT_EQ(RunReportCommand(command), static_cast<DWORD>(ERROR_DISK_FULL));
    }
    EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));

    {
        CallFault noThread(g_SystemCalls.CreateThread, nullptr, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(RunReportCommand(command), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));

    // A move that fails for another reason than a program holding FILE
    // fails at once: one more try, for a holder that let go meanwhile, and
    // no wait.
    {
        CallFault refusedMove(g_SystemCalls.MoveFileExW, FALSE, ERROR_ACCESS_DENIED);
        EXPECT_EQ(RunReportCommand(command), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(refusedMove.Calls(), 2) << "a move refused for another reason was waited for";
    }
    EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));

    // In a folder where files can be created but not deleted the report is
    // refused with 5 before the run, and nothing is left.
    {
        SystemCallOverride<decltype(g_SystemCalls.CreateFileW)> create(g_SystemCalls.CreateFileW,
                                                                       CreateWithoutDeleteRight);
        CallFault refusedMove(g_SystemCalls.MoveFileExW, FALSE, ERROR_ACCESS_DENIED);
        const ThreadRecorder threads;
        const std::string newPath = scratch.Path() + "\\new.rtf";
        EXPECT_EQ(RunReportCommand(ParseReportCommand(Wide("x.exe /report " + Quoted(newPath)).c_str())),
                  static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(ThreadRecorder::Calls(), 0) << "the run started before the folder was found unfit";
    }
    EXPECT_TRUE(ReadFileBytes(path) == kOldContent);
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));

    // Every temporary name left behind by killed runs of a process with this
    // ID: a code of its own, not the 80 of a FILE that is no report.
    const ScratchFolder full("report-no-free-name");
    char szTemporary[32];
    wsprintfA(szTemporary, "\\~report-%lX-", ::GetCurrentProcessId());
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(WriteFileBytes(full.Path() + szTemporary + std::to_string(i) + ".tmp", ""));
    EXPECT_EQ(RunReportCommand(ParseReportCommand(Wide("x.exe /report " + Quoted(full.Path() + "\\new.rtf")).c_str())),
              static_cast<DWORD>(ERROR_CANNOT_MAKE));
    EXPECT_TRUE(FilesIn(full.Path(), "*.rtf").empty());

    // FILE of 259 characters in a folder as long as Windows makes one, under
    // its MAX_PATH rule: the temporary name beside it takes a longer path.
    {
        const std::string folder = scratch.Path() + "\\" + std::string(248 - scratch.Path().size() - 1, 'd');
        ASSERT_TRUE(::CreateDirectoryW(Wide(folder).c_str(), nullptr));
        const std::string longPath = folder + "\\report.rtf";
        SystemCallOverride<decltype(g_SystemCalls.CreateFileW)> open(g_SystemCalls.CreateFileW,
                                                                     CreateFileWithinMaxPath);
        EXPECT_EQ(RunReportCommand(ParseReportCommand(Wide("x.exe /report " + Quoted(longPath)).c_str())),
                  REPORT_EXIT_SUCCEEDED);
        EXPECT_TRUE(EndsWith(ReportIn(longPath), Summary(true))) << ReportIn(longPath);
        DeleteFileIfAny(longPath);
        ::RemoveDirectoryW(Wide(folder).c_str());
    }

    // Undisturbed, the same command replaces the file: the faults above were
    // what stopped it.
    EXPECT_EQ(RunReportCommand(command), REPORT_EXIT_SUCCEEDED);
    EXPECT_TRUE(EndsWith(ReportIn(path), Summary(true))) << ReportIn(path);
    EXPECT_EQ(FilesIn(scratch.Path()), std::vector<std::string>{"report.rtf"}) << Joined(FilesIn(scratch.Path()));
}
