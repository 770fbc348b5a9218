// The driver part through the real programs: a driver library planted in the
// current directory or beside the program is not loaded, and an installation
// as the driver's setup leaves it, with a second instance, gives the whole
// report in both views and succeeds, also with libraries of every name the program loads planted beside
// it, for the 32-bit program and, on 64-bit Windows, for the 64-bit one; there
// each program fails to load with only the other one's library installed.
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/RtfText.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
// The first line as each prefix has it: Windows XP, and the 64-bit Windows 7
// and 10, which either program names with " (64-bit)".
std::string OsLine()
{
    if (!RunsUnderWow64())
        return Text::kOs + std::string("Windows XP Service Pack 3 Build: 2600");
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExA(&version);
    if (version.dwMajorVersion == 6 && version.dwMinorVersion == 1)
        return Text::kOs + std::string("Windows 7 Service Pack 1 Build: 7601 (64-bit)");
    // The build of Wine's Windows 10 moves with Wine's version; its release and update
    // level are those make-wineprefix wrote into the 64-bit view.
    return Text::kOs + std::string("Windows 10 1903 Build: ") + std::to_string(version.dwBuildNumber) +
           ".1256 (64-bit)";
}

// The 32-bit program checks what 32-bit applications load; the 64-bit one,
// which only 64-bit Windows runs, what 64-bit applications load.
const char kProgram32[] = "UsbInstallationTest.exe";
const char kProgram64[] = "UsbInstallationTest64.exe";

// The folder of the build that made the program, and the program in it.
std::string BuildOf(const char* pszProgram)
{
    return pszProgram == kProgram64 ? WinePath(TEST_X64_DIR) : BuildDir();
}

std::string ProgramPath(const char* pszProgram)
{
    return BuildDir() + "\\" + pszProgram;
}

// A copy of the program in a folder of its own, the current directory too,
// with a library that leaves a mark when loaded beside it under the name of
// each library the program loads (riched20 is riched32's import), built as
// the program is, and under the name of one that the system's components load
// later by bare name (many delay-load dwmapi). While the copy lives, Wine takes such a library before its
// own, as Windows does: its overrides are read as a process starts, from the
// key (WINEDLLOVERRIDES set here would not reach the program). None may have
// been loaded when it goes.
class PlantedCopy : NonCopyable
{
public:
    explicit PlantedCopy(const char* pszProgram) : m_folder("planted-beside"), m_exe(Folder() + "\\" + pszProgram)
    {
        EXPECT_TRUE(::CopyFileA(ProgramPath(pszProgram).c_str(), Exe().c_str(), FALSE));
        for (const char* pszName : kNames)
        {
            EXPECT_TRUE(::CopyFileA((BuildOf(pszProgram) + "\\tests\\planted_library.dll").c_str(),
                                    (Folder() + "\\" + pszName).c_str(), FALSE));
        }
        for (const char* pszName : kOverridden)
            EXPECT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kOverrides, pszName, REG_SZ, "native,builtin", 15), 0);
    }
    ~PlantedCopy()
    {
        for (const char* pszName : kOverridden)
            ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kOverrides, pszName);
        std::vector<std::string> loaded;
        for (const char* pszName : kNames)
        {
            if (FileExists(Folder() + "\\" + pszName + ".loaded"))
                loaded.push_back(pszName);
        }
        EXPECT_TRUE(loaded.empty()) << "loaded from beside the program: " << Joined(loaded);
    }

    const std::string& Folder() const { return m_folder.Path(); }
    const std::string& Exe() const { return m_exe; }

private:
    static constexpr const char* kNames[] = {"KT480_D2XX.DLL", "RICHED32.DLL", "RICHED20.DLL", "DWMAPI.DLL"};
    static constexpr const char* kOverridden[] = {"riched32", "riched20", "dwmapi"};
    static constexpr const char* kOverrides = "Software\\Wine\\DllOverrides";
    const ScratchFolder m_folder;
    const std::string m_exe;
};

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

TEST(DeviceUi, ADriverLibraryInTheCurrentDirectoryOrBesideTheProgramIsNotLoaded)
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

    // The missing installed library's error, as without the planted one.
    const auto expectNotLoaded = [&](const ScratchFolder& current, const std::string& where) {
        UiHarness ui(current.Path().c_str(), exe);
        ASSERT_TRUE(ui.Started()) << where << ": the dialog did not come up";
        ASSERT_TRUE(ui.StartAndWaitForEnd()) << where << ": the run did not end";
        const std::string report = ui.ReportText();
        const std::string expected =
            ExpectedReport(false).Load(kDriverLibrary).Error(ERROR_MOD_NOT_FOUND).NothingToFree().Text();
        EXPECT_TRUE(Contains(report, expected)) << where << ": expected\n" << expected << "in\n" << report;
        EXPECT_TRUE(ui.Close()) << where << ": the dialog did not close";
        EXPECT_TRUE(trace.Lines().empty()) << "the library " << where << " was called:\n" << Joined(trace.Lines());
    };
    expectNotLoaded(currentFolder, "in the current directory");
    ASSERT_TRUE(::CopyFileA(SimulatorLibrary().c_str(), (appFolder.Path() + "\\" + kDriverLibrary).c_str(), FALSE));
    expectNotLoaded(appFolder, "beside the program");
}

TEST_P(DeviceUiProgram, AnInstalledDriverGivesTheWholeReportAndSucceeds)
{
    // As the demo installation has it, with the simulator's own instrument;
    // also run in 64-bit prefixes, with a 64-bit driver package's layout: each
    // program finds its own library, and the report is the same.
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    // A second instance, with a class key of its own for the same files.
    sandbox.AddInstance("KT0002B", 1, "KT480USB.SYS", "oem7.inf");
    SetEnv("USBSIM_SCENARIO", "");
    SetEnv("USBSIM_TRACE", "");
    const ExpectedReport::Device device = {"USB Measurement Instrument", "Vid_0403&Pid_B7E4#SIM00001",
                                           "USB Measurement Instrument", "Simulated Instruments"};
    const std::string answer = "Simulated Instruments,USB-SIM 1,SIM00001,1.0";

    const auto expectedReport = [&](bool bDetailed) {
        ExpectedReport e(bDetailed);
        e.Line(OsLine()).Separator();
        CommonFilesFound(e.Heading(kCommonHeading).Detail(Text::kDevicesRegistered + std::string("2"))).Ok();
        // The second class key, as an older installation may have left it, names no version.
        InstanceFilesFound(e, "KT0002B", "KT480USB.SYS", "oem7.inf", kNoDriverVersion);
        InstanceFilesFound(e, "SIM00001", "KT480USB.SYS", "oem7.inf", kDemoDriverVersion).Separator();
        e.Loaded(kDriverLibrary, kSimulatorVersion).Found(1);
        e.UpToTheWait(device).Answered(46, 46, answer, "#");
        e.Freed().Summary(true);
        return e.Text();
    };

    for (const bool bPlanted : {false, true})
    {
        SCOPED_TRACE(bPlanted ? "a copy with libraries planted beside it" : "the program in the build folder");
        const std::unique_ptr<PlantedCopy> planted(bPlanted ? new PlantedCopy(GetParam()) : nullptr);
        UiHarness ui(planted ? planted->Folder().c_str() : nullptr, planted ? planted->Exe() : ProgramPath(GetParam()));
        ASSERT_TRUE(ui.Started()) << "the dialog did not come up";
        // A load by bare name as the system's components make it, once the
        // program runs; this 32-bit test reaches only a 32-bit program.
        if (planted && GetParam() == kProgram32)
            CallInProcess(ui.Process(), "LoadLibraryA", "DWMAPI.DLL");
        ASSERT_TRUE(ui.StartAndWaitForEnd()) << "the simple run did not end";
        EXPECT_EQ(ui.ReportText(), expectedReport(false)) << "simple view";

        ui.Click(IDC_BUTTON_DETAILS);
        ASSERT_TRUE(ui.WaitUntil([&ui] { return ui.RunEnded(); })) << "the detailed run did not end";
        const std::string report = ui.ReportText();
        EXPECT_EQ(MaskResponseTimes(report), expectedReport(true)) << "detailed view";
        EXPECT_EQ(CountOf(report, "\t" + std::string(Text::kResponseTime)), 1u) << report;
        EXPECT_TRUE(ui.Close()) << "the dialog did not close";
    }
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
    InstanceFilesFound(e, "SIM00001", "KT480USB.SYS", "oem7.inf", kDemoDriverVersion).Separator();
    e.Load(kDriverLibrary).Error(ERROR_MOD_NOT_FOUND).NothingToFree().Summary(false);
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
