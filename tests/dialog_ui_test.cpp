// The real UsbInstallationTest.exe, driven through window messages from
// another process: button states and captions across a run, the view switch,
// and closing during a run.
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

namespace
{
// The simulated driver in the system directory, where its setup installs it;
// the scenario is handed down through the environment.
class InstalledDriver
{
public:
    explicit InstalledDriver(const std::string& scenario) : m_scenario(scenario)
    {
        m_sandbox.PutCopy(SystemFilePath(kDriverLibrary), SimulatorLibrary());
    }

private:
    InstallationSandbox m_sandbox;
    const ScenarioFile m_scenario;
};
} // namespace

// OpensInTheOpenedState, then a run in each view.
TEST(DialogUi, OpensThenRunsInEachViewAndEscapeCloses)
{
    // No installation, also after a test killed inside its own sandbox.
    InstallationSandbox sandbox;
    UiHarness ui;
    ASSERT_TRUE(ui.Started());
    ExpectOpenedState(ui.Dialog());
    // No system message box may stop a check in the dialog either.
    EXPECT_EQ(CallInProcess(ui.Process(), "GetErrorMode"),
              static_cast<DWORD>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX))
        << "the dialog's error mode: a system error box could block a check";

    // StartRunsToTheEndAndHandsTheButtonsBack, and the focus to Start; the
    // view's switch and a run in each view are the dialog test's.
    const auto focusOnStart = [&] { return ui.FocusedControl() == IDC_BUTTON_START; };
    ASSERT_TRUE(ui.StartAndWaitForEnd());
    EXPECT_TRUE(ui.WaitUntil(focusOnStart, 20000)) << "focus after the run: " << ui.FocusedControl();
    const std::string simple = ui.ReportText();
    EXPECT_EQ(simple.find(Text::kOs + std::string("Windows XP")), 0u) << simple;
    EXPECT_TRUE(EndsWith(simple, ExpectedReport(false).Summary(false).Text())) << simple;
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_START));
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_SAVE));

    ui.Click(IDC_BUTTON_DETAILS);
    EXPECT_EQ(ui.Caption(IDC_BUTTON_DETAILS), "<< Simple");
    ASSERT_TRUE(ui.WaitUntil([&] { return ui.RunEnded(); }));
    const std::string detailed = ui.ReportText();
    // Without a driver in reach the detailed view adds the unloading's explanation.
    EXPECT_FALSE(Contains(simple, DetailLine(Text::kNotLoaded))) << simple;
    EXPECT_TRUE(Contains(detailed, DetailLine(Text::kNotLoaded))) << detailed;
    EXPECT_TRUE(ui.WaitUntil(focusOnStart, 20000)) << "focus after Details: " << ui.FocusedControl();

    // Escape, where the keyboard now is, closes the dialog.
    ASSERT_NE(ui.FocusedControl(), 0) << "no control has the keyboard";
    const HWND hwndFocus = FocusOfThread(ui.Dialog());
    ::PostMessageA(hwndFocus, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(ui.WaitForExit(20000)) << "Escape did not close the dialog";
}

TEST(DialogUi, DetailsDuringARunSwitchesTheRunInProgress)
{
    DeviceHold hold;
    // An instrument held at its open until the hold is released.
    InstalledDriver driver("[device0]\nhold_event=" + hold.Name() + "\n");
    UiHarness ui;
    const DeviceHold::ReleaseFirst release(hold);
    ASSERT_TRUE(ui.Started());
    // The buttons that a run disables give the focus to the report, so that
    // the keyboard still reaches the dialog; Start takes it back at the end.
    ASSERT_EQ(ui.FocusedControl(), IDC_RICHEDIT_LOG) << "as the dialog opens";
    ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(ui.WaitUntil([&] { return Contains(ui.ReportText(), Text::kDevice); }));
    EXPECT_EQ(ui.FocusedControl(), IDC_RICHEDIT_LOG) << "after Start";
    ui.Click(IDC_BUTTON_DETAILS);
    EXPECT_EQ(ui.Caption(IDC_BUTTON_DETAILS), "<< Simple");
    EXPECT_FALSE(ui.IsEnabled(IDC_BUTTON_START));
    EXPECT_EQ(ui.FocusedControl(), IDC_RICHEDIT_LOG) << "after Details";
    // The user works in another window until the run has ended, then returns.
    const HWND hwndOther = ::CreateWindowExA(0, "Static", "another program", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                             nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(hwndOther);
    EXPECT_TRUE(ui.WaitUntil([&] { return ::GetForegroundWindow() == hwndOther; }, 20000));
    hold.Release();

    ASSERT_TRUE(ui.WaitUntil([&] { return ui.RunEnded(); }));
    ::DestroyWindow(hwndOther);
    EXPECT_TRUE(ui.WaitUntil([&] { return ui.FocusedControl() == IDC_BUTTON_START; }, 20000))
        << "focus after the run: " << ui.FocusedControl();
    const std::string report = ui.ReportText();
    // Only what the run wrote after the click, in the detailed view, and no second run.
    EXPECT_FALSE(Contains(report, Text::kOs)) << report;
    EXPECT_FALSE(Contains(report, Text::kLoad)) << report;
    EXPECT_TRUE(Contains(report, "\t" + std::string(Text::kReadEeprom) + "\n")) << report;
    EXPECT_EQ(CountOf(report, kRule), 1u) << report;
}

TEST(DialogUi, ClosingDuringARunNeverHangs)
{
    DeviceHold hold;
    // 64 instruments that never answer, the first held at its open until the
    // hold is released: a close while the run is in that open waits for it,
    // its report readable.
    InstalledDriver driver(SilentInstruments(64, "hold_event=" + hold.Name() + "\n"));
    // Moments of the run, each known by a line the report shows: before it
    // writes, while it writes, with the library loaded, in the held open.
    const struct
    {
        const char* pszMoment;
        int nButton;
        std::string shown;    // empty: at once after the click
        bool bOpened = false; // the first instrument opens at once
        bool bStartWhileTheCloseWaits = false;
    } kMoments[] = {
        {"as the run starts", IDC_BUTTON_START, ""},
        {"during the registry checks", IDC_BUTTON_DETAILS, Text::kCommon},
        {"during the device search", IDC_BUTTON_DETAILS, Text::kSearch},
        {"AStartSentWhileTheCloseWaitsStartsNoRun", IDC_BUTTON_DETAILS, DetailLine(Text::kOpen), false, true},
        {"during the first instrument's wait: gone within 3 s", IDC_BUTTON_DETAILS, DetailLine(Text::kSend), true},
    };
    for (const auto& m : kMoments)
    {
        SCOPED_TRACE(m.pszMoment);
        if (m.bOpened)
            hold.Release();
        else
            hold.Hold();
        UiHarness ui;
        const DeviceHold::ReleaseFirst release(hold);
        ASSERT_TRUE(ui.Started());
        ui.Click(m.nButton);
        if (!m.shown.empty())
        {
            ASSERT_TRUE(ui.WaitUntil([&] { return Contains(ui.ReportText(), m.shown); })) << ui.ReportText();
        }
        const DWORD dwClosed = ::GetTickCount();
        ::PostMessageA(ui.Dialog(), WM_CLOSE, 0, 0);
        if (m.bOpened)
        {
            // The cancel ends the wait and the test of the other 63.
            EXPECT_TRUE(ui.WaitForExit(kStateWaitMs));
            EXPECT_LE(::GetTickCount() - dwClosed, 3000u) << "ms from the close to the process's end";
        }
        if (m.bStartWhileTheCloseWaits)
        {
            // A click on Start as automation sends it, once the close hid
            // the dialog and waits for the held open.
            ASSERT_TRUE(ui.WaitUntil([&] { return !::IsWindowVisible(ui.Dialog()); }));
            DWORD_PTR dwIgnored = 0;
            ::SendMessageTimeoutA(ui.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_BUTTON_START, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(ui.Control(IDC_BUTTON_START)), SMTO_NORMAL, 60000,
                                  &dwIgnored);
            const std::string report = ui.ReportText();
            EXPECT_TRUE(Contains(report, DetailLine(Text::kOpen))) << "a new run emptied the report:\n" << report;
            EXPECT_EQ(CountOf(report, Text::kOs), 1u) << report;
        }
        hold.Release();
        ASSERT_TRUE(ui.WaitForExit(60000)) << "the dialog did not close";
        EXPECT_EQ(ui.ExitCode(), 0u);
    }
}

// Log-off, shutdown or Restart Manager during a run: the end of the session
// is not held up, and Windows may end the process as soon as WM_ENDSESSION
// returns, so the run has ended and freed its driver library by then; left
// alone, the process then ends by itself.
TEST(DialogUi, TheSessionEndingDuringARunEndsItInsideTheHandler)
{
    // Restart Manager's ENDSESSION_CLOSEAPP, which comes the same way, is the
    // report command's case.
    DeviceHold hold;
    TraceFile trace;
    InstalledDriver driver("[device0]\nsilent=1\nhold_event=" + hold.Name() + "\n");
    UiHarness ui;
    const DeviceHold::ReleaseFirst release(hold);
    ASSERT_TRUE(ui.Started());
    ui.Click(IDC_BUTTON_DETAILS);
    ASSERT_TRUE(ui.WaitUntil([&] { return Contains(ui.ReportText(), DetailLine(Text::kOpen)); })) << ui.ReportText();
    ASSERT_EQ(ui.EndSessionDuringARun(0, hold), "");
    const std::vector<std::string> lines = trace.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "SIM_Unload") << "the driver library was not freed after its last call:\n" << Joined(lines);
    EXPECT_TRUE(ui.WaitForExit(5000)) << "the process did not end by itself";
}
