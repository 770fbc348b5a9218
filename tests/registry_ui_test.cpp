// The real UsbInstallationTest.exe over an installed device: keys, values and
// files as a driver installation leaves them, with two instances and the
// (simulated) driver library in the system directory. The registry section of
// the report must come out exactly, in both views, and the run must succeed.
#include "support/RegistryFixture.h"

#include "res/resource.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

namespace
{
// The report between the first separator and the second.
std::string RegistrySection(const std::string& report)
{
    const size_t nFirst = report.find(kSeparator);
    if (nFirst == std::string::npos)
        return "(no first separator)";
    const size_t nStart = nFirst + kSeparator.size();
    const size_t nSecond = report.find(kSeparator, nStart);
    if (nSecond == std::string::npos)
        return "(no second separator)";
    return report.substr(nStart, nSecond - nStart);
}

ExpectedReport ExpectedRegistrySection(bool bDetailed)
{
    ExpectedReport e(bDetailed);
    e.Heading(kCommonHeading).Detail("Number of devices registered:   2");
    CommonFilesFound(e).Ok();
    for (const char* pszInstance : {"KT0002B", "SIM00001"})
        InstanceFilesFound(e, pszInstance, "KT480USB.SYS", "oem7.inf");
    return e;
}
} // namespace

TEST(RegistryUi, InstalledDeviceGivesTheExactRegistrySectionInBothViews)
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    // A second instance shares the class key the installation made for the driver.
    sandbox.SetText(DeviceKeyPath() + "\\KT0002B", "Driver", TestDriverValue(0));
    SetEnv("USBSIM_SCENARIO", ""); // the simulator's one healthy instrument
    SetEnv("USBSIM_TRACE", "");

    UiHarness ui;
    ASSERT_TRUE(ui.Started()) << "the dialog did not come up";
    const std::string summary = ExpectedReport(false).Summary(true).Text();

    ASSERT_TRUE(ui.StartAndWaitForEnd()) << "the simple run did not end";
    std::string report = ui.ReportText();
    EXPECT_EQ(RegistrySection(report), ExpectedRegistrySection(false).Text()) << "simple view";
    EXPECT_TRUE(EndsWith(report, summary)) << "simple view, the report:\n" << report;

    ui.Click(IDC_BUTTON_DETAILS);
    ASSERT_TRUE(ui.WaitUntil([&ui] { return ui.RunEnded(); })) << "the detailed run did not end";
    report = ui.ReportText();
    EXPECT_EQ(RegistrySection(report), ExpectedRegistrySection(true).Text()) << "detailed view";
    EXPECT_TRUE(EndsWith(report, summary)) << "detailed view, the report:\n" << report;

    EXPECT_TRUE(ui.Close()) << "the dialog did not close";
}
