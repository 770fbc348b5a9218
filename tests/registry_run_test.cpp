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

DWORD RunCheckThread(TestDialogHost& host)
{
    return host.RunOnWorker([&host] { return CheckThreadProc(&host.Dialog()); });
}

struct RunCase
{
    const char* pszName;
    std::function<void(InstallationSandbox&)> arrange;
    std::function<void(ExpectedReport&)> expectRegistryLines;
    bool bSuccess;
    const char* pszCancelAt; // the dialog closes while this line is written
};

std::ostream& operator<<(std::ostream& os, const RunCase& c)
{
    return os << c.pszName;
}

const RunCase kRunCases[] = {
    {"BothChecksPass", [](InstallationSandbox& s) { InstallForRegistryOnly(s, 1); },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Ok();
         e.Heading(kDeviceHeading + "#0000").Ok();
     },
     true, nullptr},
    {"NoDeviceKeyLeavesOutTheDeviceCheck",
     [](InstallationSandbox& s) { s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001")); },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Warning(); }, false, nullptr},
    {"FailedCommonCheckLeavesOutTheDeviceCheck",
     [](InstallationSandbox& s) {
         InstallForRegistryOnly(s, 1);
         s.CreateChildKey(kUsbEnumKey, std::string(255, 'A'));
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_MORE_DATA); }, false, nullptr},
    {"CommonWarningStillRunsTheDeviceCheck",
     [](InstallationSandbox& s) {
         InstallForRegistryOnly(s, 1);
         DeleteFileIfAny(SystemFilePath(kUninstallIni));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Warning();
         e.Heading(kDeviceHeading + "#0000").Ok();
     },
     true, nullptr},
    {"DeviceCheckWithoutInstancePasses", [](InstallationSandbox& s) { InstallForRegistryOnly(s, 0); },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Ok();
         e.Heading(kDeviceHeading).Warning();
     },
     true, nullptr},
    {"FailedDeviceCheckFailsTheRun",
     [](InstallationSandbox& s) {
         InstallForRegistryOnly(s, 1);
         s.CreateChildKey(DeviceKeyPath(), std::string(255, 'A'));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Ok();
         e.Heading(kDeviceHeading + "#0000").Ok();
         e.Heading(kDeviceHeading).Error(ERROR_MORE_DATA);
     },
     false, nullptr},
    // The cancel comes as the passed common check writes its result.
    {"CancelAfterAPassedCommonCheckLeavesOutTheDeviceCheck",
     [](InstallationSandbox& s) { InstallForRegistryOnly(s, 1); },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Ok(); }, false, "... Result:   OK"},
    // An instance's own "Error" result does not change what the check returns.
    {"InstanceErrorLeavesTheRunSuccessful",
     [](InstallationSandbox& s) {
         InstallForRegistryOnly(s, 2);
         s.SetText(DeviceKeyPath() + "\\0000", "Driver", TestDriverValue(9999));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Ok();
         e.Heading(kDeviceHeading + "#0000").Error(ERROR_FILE_NOT_FOUND);
         e.Heading(kDeviceHeading + "#0001").Ok();
     },
     true, nullptr},
};

class RegistryLoop : public testing::TestWithParam<RunCase>
{
};
} // namespace

TEST_P(RegistryLoop, ChecksSummaryAndExitCode)
{
    const RunCase& c = GetParam();
    DeviceTableOverride table({kRegistryOnly});
    InstallationSandbox sandbox;
    c.arrange(sandbox);
    TestDialogHost host;
    host.CancelWhenWritten(c.pszCancelAt != nullptr ? c.pszCancelAt : "");

    RunCheckThread(host);

    ExpectedReport expected(false);
    OpeningLines(expected, host);
    c.expectRegistryLines(expected);
    expected.Summary(c.bSuccess);
    EXPECT_EQ(host.ReportText(), expected.Text());
}

INSTANTIATE_TEST_SUITE_P(CheckThreadProc, RegistryLoop, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) { return info.param.pszName; });

TEST(RegistryLoopEntries, NegativeVendorOrProductIdTakesNoPartInTheRegistryLoop)
{
    DeviceTableOverride table({{-1, 0xB7E4, nullptr, kUninstaller, kUninstallIni},
                               {0x0403, -0x4B1C, nullptr, kUninstaller, kUninstallIni},
                               kRegistryOnly});
    InstallationSandbox sandbox;
    InstallForRegistryOnly(sandbox, 1);
    TestDialogHost host;
    host.SetDetailed(true);

    RunCheckThread(host);

    ExpectedReport expected(true);
    OpeningLines(expected, host);
    expected.Heading(kCommonHeading).Detail("Number of devices registered:   1");
    expected.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
    expected.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Detail("... File was found.").Ok();
    expected.Heading(kDeviceHeading + "#0000");
    expected.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
    expected.Detail("Registered installation file:   oemkt480t0.inf").Detail("... File was found.").Ok();
    expected.Summary(true);
    EXPECT_EQ(host.ReportText(), expected.Text());
}

TEST(RegistryLoopEntries, DriverLoopRunsAfterAFailedRegistryLoop)
{
    InstallationSandbox sandbox; // no USB enumeration key; no driver library in the system directory
    ASSERT_FALSE(FileExists(SystemFilePath(kDriverLibrary)));
    ASSERT_FALSE(FileExists(WinePath(std::string(TEST_EXE_DIR) + "/tests/" + kDriverLibrary)));
    TestDialogHost host;

    RunCheckThread(host);

    ExpectedReport registryPart(false);
    OpeningLines(registryPart, host);
    registryPart.Heading(kCommonHeading).Error(ERROR_FILE_NOT_FOUND).Separator();
    registryPart.Heading("Load DLL:   KT480_D2XX.DLL");
    const std::string text = host.ReportText();
    EXPECT_EQ(text.substr(0, registryPart.Text().size()), registryPart.Text());
    EXPECT_EQ(text.find(kDeviceHeading), std::string::npos) << "the device check ran after a failed common check";
    EXPECT_TRUE(EndsWith(text, ExpectedReport(false).Summary(false).Text())) << text;
}

TEST(RegistryLoopEntries, StartButtonRunsTheRegistryLoopOnTheCheckThread)
{
    DeviceTableOverride table({kRegistryOnly});
    InstallationSandbox sandbox;
    InstallForRegistryOnly(sandbox, 2);
    DeleteFileIfAny(InfFilePath("oemkt480t0.inf"));
    TestDialogHost host;

    ASSERT_TRUE(host.StartAndWaitForEnd()) << "the run did not end";

    ExpectedReport expected(false);
    OpeningLines(expected, host);
    expected.Heading(kCommonHeading).Ok();
    expected.Heading(kDeviceHeading + "#0000").Warning();
    expected.Heading(kDeviceHeading + "#0001").Ok();
    expected.Summary(true);
    EXPECT_EQ(host.ReportText(), expected.Text());
}
