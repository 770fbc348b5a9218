// The driver part through the real programs: a driver library planted in the
// current directory is not loaded, and an installation as the driver's setup
// leaves it gives the whole detailed report and succeeds, for the 32-bit
// program and, on 64-bit Windows, for the 64-bit one; there each program fails
// to load with only the other one's library installed.
#include "device_fixture.h"
#include "registry_fixture.h"
#include "res/resource.h"
#include "support/RtfText.h"
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

// The 32-bit program checks what 32-bit applications load; the 64-bit one,
// which only 64-bit Windows runs, what 64-bit applications load.
const char kProgram32[] = "UsbInstallationTest.exe";
const char kProgram64[] = "UsbInstallationTest64.exe";

std::string ProgramPath(const char* pszProgram)
{
    return BuildDir() + "\\" + pszProgram;
}

class DeviceUiProgram : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        if (GetParam() == kProgram64 && !RunsUnderWow64())
            GTEST_SKIP() << "a 64-bit program needs 64-bit Windows";
    }
};
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

TEST_P(DeviceUiProgram, AnInstalledDriverGivesTheWholeReportAndSucceeds)
{
    // As the demo installation has it, with the simulator's own instrument;
    // also run in 64-bit prefixes, with a 64-bit driver package's layout: each
    // program finds its own library, and the report is the same.
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

    UiHarness ui(nullptr, ProgramPath(GetParam()));
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

INSTANTIATE_TEST_SUITE_P(, DeviceUiProgram, ::testing::Values(kProgram32, kProgram64),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param == kProgram64 ? "Program64" : "Program32");
                         });

TEST(DeviceUi, EachProgramFailsToLoadWithOnlyTheOtherProgramsLibrary)
{
    // A 32-bit application and a 64-bit one load different libraries under
    // the same name: the program of the other kind must not take the one it
    // sees for the one the user's application needs.
    if (!RunsUnderWow64())
        GTEST_SKIP() << "only 64-bit Windows has libraries of both kinds";
    using Libraries = InstallationSandbox::DriverLibraries;
    const struct
    {
        const char* pszProgram;
        Libraries installed;
    } rows[] = {{kProgram64, Libraries::ONLY_32_BIT}, {kProgram32, Libraries::ONLY_64_BIT}};
    ExpectedReport e(true);
    e.Line(OsLine()).Separator();
    CommonLines(e, 1, "MFF").Warning();
    InstanceFilesFound(e, "SIM00001", "KT480USB.SYS", "oem7.inf").Separator();
    e.Heading("Load DLL:   KT480_D2XX.DLL").Error(ERROR_MOD_NOT_FOUND);
    e.Heading("Deallocate DLL Memory").Alert("The DLL has not been loaded yet.").Warning().Summary(false);
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.pszProgram);
        InstallationSandbox sandbox;
        sandbox.PutDemoInstallation(row.installed);
        SetEnv("USBSIM_SCENARIO", "");
        const ScratchFolder folder("mismatch");
        const std::string path = folder.Path() + "\\report.rtf";
        EXPECT_EQ(RunToEnd("/report \"" + path + "\"", nullptr, 120000, ProgramPath(row.pszProgram)), 1u)
            << "the exit code of a check that must end \"Check finished.\"";
        EXPECT_EQ(RtfToPlainText(ReadFileBytes(path)), e.Text()) << "the report of a load that must fail with 126";
    }
}
