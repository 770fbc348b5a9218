// The check run: its parameter test, the opening lines and separators, which
// check runs after which result, the cancel tests, the summary and the exit
// code. Devices come from a table of the test's own; the driver is the
// simulated one.
#include "device_fixture.h"
#include "res/resource.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
std::string Summary(bool bSucceeded)
{
    return ExpectedReport(false).Summary(bSucceeded).Text();
}

// Vendor and product that no test registers.
const int kUnregisteredVendor = 0x0403;
const int kUnregisteredProduct = 0x0001;

class CheckRun : public ::testing::Test
{
protected:
    void SetUp() override { SetEnv("USBSIM_SCENARIO", ""); }

    DWORD Run()
    {
        return host.RunOnWorker([this] { return CheckThreadProc(&host.Dialog()); });
    }

    TestDialogHost host;
    const std::string m_strSimulator = SimulatorLibrary();
    NoReceivePause m_noPause;
};
} // namespace

TEST_F(CheckRun, RejectsANullParameterAndObjectsOfOtherClasses)
{
    EXPECT_EQ(CheckThreadProc(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CDialog plainDialog(102);
    EXPECT_EQ(CheckThreadProc(static_cast<CObject*>(&plainDialog)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CButton button;
    EXPECT_EQ(CheckThreadProc(static_cast<CObject*>(&button)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(host.ReportText(), "");
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_SAVE));
}

TEST_F(CheckRun, AcceptsADialogOfADerivedClass)
{
    class CDerivedDialog : public CUsbInstallationTestDlg
    {
    };
    CDerivedDialog derived;
    ASSERT_TRUE(derived.Create(nullptr));
    DeviceTableOverride table({});
    const DWORD dwResult = host.RunOnWorker([&] { return CheckThreadProc(static_cast<CObject*>(&derived)); });
    EXPECT_EQ(dwResult, 0u);
    const HWND hwndLog = derived.m_richLog.m_hWnd;
    EXPECT_GT(::GetWindowTextLengthA(hwndLog), 0);
    ::DestroyWindow(derived.m_hWnd);
}

TEST_F(CheckRun, OpeningLinesSeparatorsAndTheOrderOfTheChecks)
{
    DeviceTableOverride table({{kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), "U.EXE", "U.INI"}});
    host.SetDetailed(true);
    const DWORD dwResult = Run();
    const std::string report = host.ReportText();

    EXPECT_EQ(report.find(std::string(host.Dialog().GetOsVersionText()) + "\n" + kSeparator), 0u) << report;
    EXPECT_EQ(CountOf(report, kSeparator), 2u) << report;
    // The device key is unknown: the common check fails, the device-specific
    // check is skipped, and the driver checks still run after the second separator.
    const size_t nCommon = report.find("Check common registry entries for devices:   Vid_0403&Pid_0001");
    const size_t nSecondSeparator = report.find(kSeparator, report.find(kSeparator) + 1);
    const size_t nLoad = report.find("\nLoad DLL:   " + m_strSimulator + "\n");
    const size_t nSearch = report.find("\nSearch devices currently connected to the PC\n");
    const size_t nCommunication = report.find("\nCheck communication with device:   ");
    const size_t nFree = report.find("\nDeallocate DLL Memory\n");
    ASSERT_NE(nCommon, std::string::npos) << report;
    EXPECT_FALSE(Contains(report, "Check specific registry entries")) << report;
    EXPECT_LT(nCommon, nSecondSeparator);
    EXPECT_LT(nSecondSeparator, nLoad);
    EXPECT_LT(nLoad, nSearch);
    EXPECT_LT(nSearch, nCommunication);
    EXPECT_LT(nCommunication, nFree);
    EXPECT_TRUE(EndsWith(report, "\nDeallocate DLL Memory\n... Result:   OK\n" + Summary(false))) << report;
    // The driver part passed, so the last result is the unloading's path: 0.
    EXPECT_EQ(dwResult, 0u);
}

TEST_F(CheckRun, SucceedsOnlyWhenEveryCheckPassed)
{
    // Negative IDs keep the entry out of the registry checks; the simulated
    // instrument is healthy.
    ScenarioFile file(OneDevice());
    DeviceTableOverride table({{-1, 0xB7E4, m_strSimulator.c_str(), nullptr, nullptr}});
    FakeCounter counter;
    for (bool bDetailed : {true, false})
    {
        SCOPED_TRACE(bDetailed ? "detailed view" : "simple view");
        host.SetDetailed(bDetailed);
        host.ClearReport();
        EXPECT_EQ(Run(), 0u);
        // No registry part: the opening separator and the driver loop's follow each other.
        ExpectedReport expected(bDetailed);
        expected.Line(std::string(host.Dialog().GetOsVersionText())).Separator().Separator();
        expected.Heading("Load DLL:   " + m_strSimulator).Ok();
        expected.Heading("Search devices currently connected to the PC").Detail("Number of devices found:   1").Ok();
        expected.UpToTheWait(kOneDevice).Answered(27, 27, kTestAnswer, kFakeResponseTime);
        expected.Heading("Deallocate DLL Memory").Ok().Summary(true);
        EXPECT_EQ(host.ReportText(), expected.Text());
        EXPECT_EQ(host.Dialog().m_hDriverLib, nullptr);
        // The dialog keeps the outcome of the run that ended.
        EXPECT_EQ(host.Dialog().m_nRunsEnded, bDetailed ? 1u : 2u);
        EXPECT_TRUE(host.Dialog().m_bLastRunSucceeded);
    }
}

TEST_F(CheckRun, FailuresInTheDriverPartEndWithCheckFinished)
{
    struct
    {
        const char* pszCase;
        DWORD dwExpectedResult;
        std::string scenario;
        std::vector<std::string> present;
        std::vector<std::string> absent;
        const char* pszLibrary = nullptr;  // the simulated driver
        const char* pszCancelAt = nullptr; // the dialog closes while this line is written
    } cases[] = {
        {"library cannot be loaded",
         ERROR_MOD_NOT_FOUND,
         "",
         {"Deallocate DLL Memory", "The DLL has not been loaded yet."},
         {"Search devices currently connected", "Check communication"},
         "Z:\\no\\such\\driver.dll"},
        {"the search fails",
         1,
         "[driver]\ncount_status=4\n",
         {"Search devices currently connected", "Deallocate DLL Memory\n... Result:   OK"},
         {"Check communication"}},
        {"no device connected",
         2,
         "[driver]\ncount=0\n",
         {"No device found", "Deallocate DLL Memory"},
         {"Check communication"}},
        {"device does not answer",
         1,
         "[device0]\nsilent=1\n",
         {"... a timeout is occured", "Deallocate DLL Memory"},
         {}},
        // The library's "OK" comes before its entry points are bound.
        {"cancelled once the library is loaded",
         0,
         "",
         {"Load DLL:   ", "Deallocate DLL Memory\n... Result:   OK"},
         {"Search devices currently connected"},
         nullptr,
         "... Result:   OK"},
        {"cancelled once the devices are counted",
         0,
         "",
         {"Number of devices found:   1", "Deallocate DLL Memory\n... Result:   OK"},
         {"Check communication"},
         nullptr,
         "Number of devices found"},
        {"the device cannot be opened", 1, OneDevice("open_status = 3\n"), {}, {"Check completed successfully!"}},
        {"the first of two warns, the second passes",
         1,
         Instruments({"write_status = 10\n", ""}),
         {},
         {"Check completed successfully!"}},
    };
    host.SetDetailed(true);
    for (const auto& c : cases)
    {
        host.ClearReport();
        host.Dialog().m_bCancel.store(FALSE);
        host.CancelWhenWritten(c.pszCancelAt != nullptr ? c.pszCancelAt : "");
        ScenarioFile scenario(c.scenario);
        std::unique_ptr<NoAnswerWait> noWait(Contains(c.scenario, "silent") ? new NoAnswerWait : nullptr);
        const std::string library = c.pszLibrary != nullptr ? c.pszLibrary : m_strSimulator;
        DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
        EXPECT_EQ(Run(), c.dwExpectedResult) << c.pszCase;
        const std::string report = host.ReportText();
        for (const std::string& part : c.present)
            EXPECT_TRUE(Contains(report, part)) << c.pszCase << ": missing \"" << part << "\" in\n" << report;
        for (const std::string& part : c.absent)
            EXPECT_FALSE(Contains(report, part)) << c.pszCase << ": unexpected \"" << part << "\" in\n" << report;
        EXPECT_TRUE(EndsWith(report, Summary(false))) << c.pszCase << ":\n" << report;
        EXPECT_FALSE(host.Dialog().m_bLastRunSucceeded) << c.pszCase;
    }
}

TEST_F(CheckRun, EntriesWithoutIdsOrLibraryTakeNoPartInTheirLoop)
{
    {
        DeviceTableOverride table({{-1, 0x1234, nullptr, nullptr, nullptr}, {0x1234, -5, nullptr, nullptr, nullptr}});
        EXPECT_EQ(Run(), 0u);
        // Nothing but the opening lines and the summary: no registry lines, no
        // second separator, no driver lines.
        EXPECT_EQ(host.ReportText(), std::string(host.Dialog().GetOsVersionText()) + "\n" + kSeparator + Summary(true));
    }
    // Among entries with a library.
    ScenarioFile file(OneDevice());
    DeviceTableOverride table({{-1, -1, m_strSimulator.c_str(), nullptr, nullptr},
                               {-1, -1, nullptr, nullptr, nullptr},
                               {-1, -1, m_strSimulator.c_str(), nullptr, nullptr}});
    host.ClearReport();
    EXPECT_EQ(Run(), 0u);
    const std::string report = host.ReportText();
    // The opening separator and one for each entry with a library.
    EXPECT_EQ(CountOf(report, kSeparator), 3u) << report;
    EXPECT_EQ(CountOf(report, "\nLoad DLL:   "), 2u) << report;
    EXPECT_EQ(CountOf(report, "\nDeallocate DLL Memory\n... Result:   OK\n"), 2u) << report;
    EXPECT_TRUE(EndsWith(report, Summary(true))) << report;
}

TEST_F(CheckRun, CancelledBeforeTheOpeningLinesWritesOnlyTheSummary)
{
    host.Dialog().m_bCancel.store(TRUE);
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(host.ReportText(), Summary(false));
}

namespace
{
CUsbInstallationTestDlg* g_pCancelledDialog = nullptr;

LONG WINAPI CancellingRegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    // The dialog is closed while the common check is under way.
    g_pCancelledDialog->m_bCancel.store(TRUE);
    return ::RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
}
} // namespace

TEST_F(CheckRun, CancelledDuringTheCommonCheckSkipsEverythingAfterIt)
{
    DeviceTableOverride table({{kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), nullptr, nullptr},
                               {kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), nullptr, nullptr}});
    g_pCancelledDialog = &host.Dialog();
    SystemCallOverride<decltype(g_SystemCalls.RegOpenKeyExA)> fake(g_SystemCalls.RegOpenKeyExA,
                                                                   CancellingRegOpenKeyExA);
    Run();
    const std::string report = host.ReportText();
    EXPECT_EQ(CountOf(report, "Check common registry entries for devices"), 1u) << report;
    EXPECT_FALSE(Contains(report, "Check specific registry entries")) << report;
    EXPECT_FALSE(Contains(report, "Load DLL")) << report;
    EXPECT_EQ(CountOf(report, kSeparator), 1u) << report;
    EXPECT_TRUE(EndsWith(report, Summary(false))) << report;
}
