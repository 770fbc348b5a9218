// The driver part through the real UsbInstallationTest.exe: a driver library
// planted in the current directory is not loaded, and an installation as the
// driver's setup leaves it gives the whole detailed report and succeeds.
#include "device_fixture.h"
#include "registry_fixture.h"
#include "res/resource.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

namespace
{
// 64-bit Windows here is Windows 7 or 10, which the OS table does not name.
std::string OsLine()
{
    if (RunsUnderWow64())
        return "Operating System:   Unknown Operating System";
    CUsbInstallationTestDlg dlg;
    return std::string(dlg.GetOsVersionText());
}
} // namespace

TEST(DeviceUi, ADriverLibraryInTheCurrentDirectoryIsNotLoaded)
{
    // No driver library in the system directory while the sandbox lives.
    InstallationSandbox sandbox;
    ASSERT_FALSE(FileExists(SystemFilePath(kDriverLibrary))) << "a driver library is installed";
    SetEnv("USBSIM_SCENARIO", "");
    TraceFile trace;

    const ScratchFolder appFolder("planted-app");
    const ScratchFolder currentFolder("planted-current");
    const std::string exe = appFolder.Path() + "\\UsbInstallationTest.exe";
    ASSERT_TRUE(::CopyFileA((BuildDir() + "\\UsbInstallationTest.exe").c_str(), exe.c_str(), FALSE));
    const std::string planted = currentFolder.Path() + "\\" + kDriverLibrary;
    ASSERT_TRUE(::CopyFileA(SimulatorLibrary().c_str(), planted.c_str(), FALSE));

    {
        UiHarness ui(currentFolder.Path().c_str(), exe);
        ASSERT_TRUE(ui.Started()) << "the dialog did not come up";
        ASSERT_TRUE(ui.StartAndWaitForEnd()) << "the run did not end";
        const std::string report = ui.ReportText();
        const std::string expected = ExpectedReport(false)
                                         .Heading("Load DLL:   KT480_D2XX.DLL")
                                         .Error(ERROR_MOD_NOT_FOUND)
                                         .Heading("Deallocate DLL Memory")
                                         .Warning()
                                         .Text();
        EXPECT_TRUE(Contains(report, expected)) << "expected\n" << expected << "in\n" << report;
        EXPECT_TRUE(ui.Close()) << "the dialog did not close";
    }
    EXPECT_TRUE(trace.Lines().empty()) << "the planted library was called:\n" << Joined(trace.Lines());

    // The same copy finds a library in its own folder: the failure above was
    // the search, not the copy.
    const std::string beside = appFolder.Path() + "\\" + kDriverLibrary;
    ASSERT_TRUE(::CopyFileA(SimulatorLibrary().c_str(), beside.c_str(), FALSE));
    {
        UiHarness ui(currentFolder.Path().c_str(), exe);
        ASSERT_TRUE(ui.Started()) << "the dialog did not come up";
        ASSERT_TRUE(ui.StartAndWaitForEnd()) << "the run did not end";
        const std::string report = ui.ReportText();
        EXPECT_TRUE(Contains(report, "\nLoad DLL:   KT480_D2XX.DLL\n... Result:   OK\n")) << report;
        EXPECT_TRUE(ui.Close()) << "the dialog did not close";
    }
    EXPECT_FALSE(trace.Calls("FT_ListDevices").empty()) << "the library beside the program was not called";
}

TEST(DeviceUi, AnInstalledDriverGivesTheWholeReportAndSucceeds)
{
    // As the demo installation has it, with the simulator's own instrument;
    // also run in 64-bit prefixes, where the kernel driver lies in the native
    // system directory and the rest in SysWOW64, and the report is the same.
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    SetEnv("USBSIM_TRACE", "");
    const ExpectedReport::Device device = {"USB Measurement Instrument", "Vid_0403&Pid_B7E4#SIM00001",
                                           "USB Measurement Instrument", "Simulated Instruments"};
    const std::string answer = "Simulated Instruments,USB-SIM 1,SIM00001,1.0";

    const auto expectedReport = [&](bool bDetailed) {
        ExpectedReport e(bDetailed);
        e.Line(OsLine()).Separator();
        e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
        CommonFilesFound(e).Ok();
        InstanceFilesFound(e, "SIM00001", "KT480USB.SYS", "oem7.inf").Separator();
        e.Heading("Load DLL:   KT480_D2XX.DLL").Ok();
        e.Heading("Search devices currently connected to the PC").Detail("Number of devices found:   1").Ok();
        e.UpToTheWait(device).Answered(46, 46, answer, "#");
        e.Heading("Deallocate DLL Memory").Ok().Summary(true);
        return e.Text();
    };

    UiHarness ui;
    ASSERT_TRUE(ui.Started()) << "the dialog did not come up";
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << "the simple run did not end";
    EXPECT_EQ(ui.ReportText(), expectedReport(false)) << "simple view";

    ui.Click(IDC_BUTTON_DETAILS);
    ASSERT_TRUE(ui.WaitUntil([&ui] { return ui.RunEnded(); })) << "the detailed run did not end";
    const std::string report = ui.ReportText();
    EXPECT_EQ(MaskResponseTimes(report), expectedReport(true)) << "detailed view";
    EXPECT_EQ(CountOf(report, "\tResponse time:   "), 1u) << report;
    EXPECT_TRUE(ui.Close()) << "the dialog did not close";
}
