// The registry loop of the check run over a real installation in the prefix:
// which check runs after which result, which entries take part, and that the
// driver loop follows whatever the registry loop found.
#include "registry_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
// The supported device without a driver library, so that a run is the
// registry loop alone.
const DEVICE_INFO kRegistryOnly = {0x0403, 0xB7E4, nullptr, "KT480_UNIN.EXE", "KT480_D2XXUN.INI"};

void InstallForRegistryOnly(InstallationSandbox& sandbox, int nInstances)
{
    sandbox.CreateKey(DeviceKeyPath());
    for (int i = 0; i < nInstances; ++i)
        sandbox.PutInstance(i);
    sandbox.PutFile(SystemFilePath(kUninstaller));
    sandbox.PutFile(SystemFilePath(kUninstallIni));
}

ExpectedReport& OpeningLines(ExpectedReport& e, TestDialogHost& host)
{
    return e.Line(std::string(host.Dialog().GetOsVersionText())).Separator();
}

ExpectedReport& InstanceFound(ExpectedReport& e, int n)
{
    return InstanceLines(e, n, "FF").Ok();
}

enum class Start
{
    ON_A_WORKER,       // the check thread's procedure on a worker thread
    CANCELLED_AT_OK,   // the same, the dialog closing as the first "OK" is written
    WITH_START_BUTTON, // a click on the Start button
};

struct RunCase
{
    const char* pszName;
    std::function<void(InstallationSandbox&)> arrange;
    std::function<void(ExpectedReport&)> expectRegistryLines;
    bool bSuccess;
    Start start;
};

std::ostream& operator<<(std::ostream& os, const RunCase& c)
{
    return os << c.pszName;
}

// The run in both views with the device table given, each on a dialog of its own.
void CheckRun(const RunCase& c, const std::vector<DEVICE_INFO>& entries)
{
    DeviceTableOverride table(entries);
    InstallationSandbox sandbox;
    c.arrange(sandbox);
    for (const bool bDetailed : {false, true})
    {
        SCOPED_TRACE(bDetailed ? "detailed view" : "simple view");
        TestDialogHost host;
        host.SetDetailed(bDetailed);
        host.CancelWhenWritten(c.start == Start::CANCELLED_AT_OK ? "... Result:   OK" : "");
        if (c.start == Start::WITH_START_BUTTON)
            ASSERT_TRUE(host.StartAndWaitForEnd()) << "the run did not end";
        else
            host.RunOnWorker([&host] { return CheckThreadProc(&host.Dialog()); });

        ExpectedReport expected(bDetailed);
        OpeningLines(expected, host);
        c.expectRegistryLines(expected);
        expected.Summary(c.bSuccess);
        EXPECT_EQ(host.ReportText(), expected.Text());
    }
}

const RunCase kRunCases[] = {
    {"BothChecksPass", [](auto& s) { InstallForRegistryOnly(s, 1); },
     [](auto& e) { InstanceFound(CommonLines(e, 1, "-FF").Ok(), 0); }, true, Start::ON_A_WORKER},
    {"NoDeviceKeyLeavesOutTheDeviceCheck", [](auto& s) { s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001")); },
     [](auto& e) { e.Heading(kCommonHeading).Alert("Device key was not found.").Warning(); }, false,
     Start::ON_A_WORKER},
    {"FailedCommonCheckLeavesOutTheDeviceCheck",
     [](auto& s) {
         InstallForRegistryOnly(s, 1);
         s.CreateChildKey(kUsbEnumKey, std::string(255, 'A'));
     },
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_MORE_DATA); }, false, Start::ON_A_WORKER},
    {"CommonWarningStillRunsTheDeviceCheck",
     [](auto& s) {
         InstallForRegistryOnly(s, 1);
         DeleteFileIfAny(SystemFilePath(kUninstallIni));
     },
     [](auto& e) { InstanceFound(CommonLines(e, 1, "-FM").Warning(), 0); }, true, Start::ON_A_WORKER},
    {"DeviceCheckWithoutInstancePasses", [](auto& s) { InstallForRegistryOnly(s, 0); },
     [](auto& e) { CommonLines(e, 0, "-FF").Ok().Heading(kDeviceHeading).Alert("No device was found.").Warning(); },
     true, Start::ON_A_WORKER},
    // The instance of too long a name counts as a device.
    {"FailedDeviceCheckFailsTheRun",
     [](auto& s) {
         InstallForRegistryOnly(s, 1);
         s.CreateChildKey(DeviceKeyPath(), std::string(255, 'A'));
     },
     [](auto& e) { InstanceFound(CommonLines(e, 2, "-FF").Ok(), 0).Heading(kDeviceHeading).Error(ERROR_MORE_DATA); },
     false, Start::ON_A_WORKER},
    {"CancelAfterAPassedCommonCheckLeavesOutTheDeviceCheck", [](auto& s) { InstallForRegistryOnly(s, 1); },
     [](auto& e) { CommonLines(e, 1, "-FF").Ok(); }, false, Start::CANCELLED_AT_OK},
    // An instance's own "Error" result does not change what the check returns.
    {"InstanceErrorLeavesTheRunSuccessful",
     [](auto& s) {
         InstallForRegistryOnly(s, 2);
         s.SetText(DeviceKeyPath() + "\\0000", "Driver", TestDriverValue(9999));
     },
     [](auto& e) {
         InstanceFound(CommonLines(e, 2, "-FF").Ok().Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND), 1);
     },
     true, Start::ON_A_WORKER},
    {"StartButtonRunsTheRegistryLoopOnTheCheckThread",
     [](auto& s) {
         InstallForRegistryOnly(s, 2);
         DeleteFileIfAny(InfFilePath(TestInfFile(0)));
     },
     [](auto& e) { InstanceFound(InstanceLines(CommonLines(e, 2, "-FF").Ok(), 0, "FM").Warning(), 1); }, true,
     Start::WITH_START_BUTTON},
};

class RegistryLoop : public testing::TestWithParam<RunCase>
{
};
} // namespace

TEST_P(RegistryLoop, ChecksSummaryAndExitCode)
{
    CheckRun(GetParam(), {kRegistryOnly});
}

INSTANTIATE_TEST_SUITE_P(CheckThreadProc, RegistryLoop, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) { return info.param.pszName; });

TEST(RegistryLoopEntries, NegativeVendorOrProductIdTakesNoPartInTheRegistryLoop)
{
    CheckRun({"", [](auto& s) { InstallForRegistryOnly(s, 1); },
              [](auto& e) { InstanceFound(CommonLines(e, 1, "-FF").Ok(), 0); }, true, Start::ON_A_WORKER},
             {{-1, 0xB7E4, nullptr, kUninstaller, kUninstallIni},
              {0x0403, -0x4B1C, nullptr, kUninstaller, kUninstallIni},
              kRegistryOnly});
}

TEST(RegistryLoopEntries, DriverLoopRunsAfterAFailedRegistryLoop)
{
    InstallationSandbox sandbox; // no USB enumeration key; no driver library in the system directory
    ASSERT_FALSE(FileExists(SystemFilePath(kDriverLibrary)));
    ASSERT_FALSE(FileExists(WinePath(std::string(TEST_EXE_DIR) + "/tests/" + kDriverLibrary)));
    TestDialogHost host;

    host.RunOnWorker([&host] { return CheckThreadProc(&host.Dialog()); });

    ExpectedReport registryPart(false);
    OpeningLines(registryPart, host);
    registryPart.Heading(kCommonHeading).Error(ERROR_FILE_NOT_FOUND).Separator();
    registryPart.Heading("Load DLL:   KT480_D2XX.DLL");
    const std::string text = host.ReportText();
    EXPECT_EQ(text.substr(0, registryPart.Text().size()), registryPart.Text());
    EXPECT_EQ(text.find(kDeviceHeading), std::string::npos) << "the device check ran after a failed common check";
    EXPECT_TRUE(EndsWith(text, ExpectedReport(false).Summary(false).Text())) << text;
}
