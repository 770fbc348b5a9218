// A driver call that never returns, through the real programs: after 15 s
// the report names the call and the run ends, Start stays disabled until the
// call has returned and the device it brought is closed, Exit ends the
// process within the same bound, and /report writes the report and answers
// ERROR_TIMEOUT. One instrument held at its open holds all three programs at
// once, so the suite waits the 15 s once, beside the other tests.
#include "device/DriverCallWatch.h"
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/RtfText.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

TEST(DriverHang, AnOpenThatDoesNotReturnIsGivenUpAfterFifteenSeconds)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    DeviceHold hold;
    ScenarioFile scenario("[device0]\nhold_event = " + hold.Name() + "\n");
    TraceFile trace;
    const ScratchFolder scratch("driver-hang");
    const std::string path = scratch.Path() + "\\hang.rtf";
    const std::string expectedEnd =
        ExpectedReport(true).DriverError("The driver did not return from FT_OpenEx within 15 s.").Summary(false).Text();

    UiHarness waiting;
    UiHarness exiting;
    UiHarness report(nullptr, std::string(), "/report \"" + path + "\"");
    const DeviceHold::ReleaseFirst release(hold);
    ASSERT_TRUE(waiting.Started() && exiting.Started() && report.Started());
    waiting.Click(IDC_BUTTON_DETAILS);
    exiting.Click(IDC_BUTTON_DETAILS);
    const auto inTheOpen = [](const UiHarness& ui) { return Contains(ui.ReportText(), DetailLine(Text::kOpen)); };
    ASSERT_TRUE(waiting.WaitUntil([&] { return inTheOpen(waiting) && inTheOpen(exiting) && inTheOpen(report); }))
        << waiting.ReportText();
    const DWORD dwOpen = ::GetTickCount();
    // Exit while the call is out: the close waits for it, up to the bound.
    ::PostMessageA(exiting.Dialog(), WM_CLOSE, 0, 0);

    ASSERT_TRUE(waiting.WaitUntil([&] { return EndsWith(waiting.ReportText(), expectedEnd); },
                                  kDriverCallBoundMs + kStateWaitMs))
        << waiting.ReportText();
    const DWORD dwGivenUp = ::GetTickCount() - dwOpen;
    EXPECT_GE(dwGivenUp, 14900u) << "ms from the open to the error line";
    EXPECT_LE(dwGivenUp, 18000u) << "ms from the open to the error line";
    // The library cannot go while the call is out: no run starts, nor the
    // view switch that would empty the report for one. It can be saved.
    EXPECT_FALSE(waiting.IsEnabled(IDC_BUTTON_START));
    EXPECT_FALSE(waiting.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_TRUE(waiting.IsEnabled(IDC_BUTTON_SAVE));

    ASSERT_TRUE(report.WaitForExit(kStateWaitMs)) << "/report did not end";
    EXPECT_EQ(report.ExitCode(), static_cast<DWORD>(ERROR_TIMEOUT));
    const std::string written = RtfToPlainText(ReadFileBytes(path));
    EXPECT_TRUE(Contains(written, DetailLine(Text::kOpen) + expectedEnd)) << written;
    ASSERT_TRUE(exiting.WaitForExit(kStateWaitMs)) << "Exit did not end the process";
    EXPECT_LE(::GetTickCount() - dwOpen, kDriverCallBoundMs + 3000) << "ms from the open to the end after Exit";

    // The call returns at last: its run writes nothing more, and Start is back
    // once its thread has given back the device the open brought. The other
    // two processes ended with their opens still out.
    const std::string givenUp = waiting.ReportText();
    hold.Release();
    // Start and Details come back in two steps: the state is both.
    EXPECT_TRUE(waiting.WaitUntil(
        [&] { return waiting.IsEnabled(IDC_BUTTON_START) && waiting.IsEnabled(IDC_BUTTON_DETAILS); }))
        << "Start " << waiting.IsEnabled(IDC_BUTTON_START) << ", Details " << waiting.IsEnabled(IDC_BUTTON_DETAILS);
    EXPECT_EQ(waiting.ReportText(), givenUp);
    const std::vector<std::string> opens = trace.Calls("FT_OpenEx");
    EXPECT_TRUE(opens.size() == 1 && EndsWith(opens[0], " status=0")) << "the opens that came back: " << Joined(opens);
    EXPECT_EQ(UnpairedOpensAndCloses(trace), "");
    EXPECT_TRUE(waiting.Close());
}
