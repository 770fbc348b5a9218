// The check run: its parameter test, the opening lines and separators, which
// check runs after which result, the cancel tests, the summary and the exit
// code. Devices come from a table of the test's own; the driver is the
// simulated one.
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
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
    DeviceTableOverride table({{-1, 0xB7E4, m_strSimulator.c_str(), nullptr, nullptr}});
    EXPECT_EQ(Run(), 0u);
    const std::string report = host.ReportText();
    EXPECT_FALSE(Contains(report, "registry entries")) << report;
    EXPECT_TRUE(EndsWith(report, Summary(true))) << report;
    EXPECT_EQ(host.Dialog().m_hDriverLib, nullptr);
    // The dialog keeps the outcome of the run that ended.
    EXPECT_EQ(host.Dialog().m_nRunsEnded, 1u);
    EXPECT_TRUE(host.Dialog().m_bLastRunSucceeded);
}

TEST_F(CheckRun, FailuresInTheDriverPartEndWithCheckFinished)
{
    struct
    {
        const char* pszCase;
        const char* pszScenario;
        const char* pszLibrary;
        std::vector<std::string> present;
        std::vector<std::string> absent;
        DWORD dwExpectedResult;
        const char* pszCancelAt; // the dialog closes while this line is written
    } cases[] = {
        {"library cannot be loaded",
         "",
         "Z:\\no\\such\\driver.dll",
         {"Deallocate DLL Memory", "The DLL has not been loaded yet."},
         {"Search devices currently connected", "Check communication"},
         ERROR_MOD_NOT_FOUND,
         nullptr},
        {"the search fails",
         "[driver]\ncount_status=4\n",
         nullptr,
         {"Search devices currently connected", "Deallocate DLL Memory\n... Result:   OK"},
         {"Check communication"},
         1,
         nullptr},
        {"no device connected",
         "[driver]\ncount=0\n",
         nullptr,
         {"No device found", "Deallocate DLL Memory"},
         {"Check communication"},
         2,
         nullptr},
        {"device does not answer",
         "[device0]\nsilent=1\n",
         nullptr,
         {"... a timeout is occured", "Deallocate DLL Memory"},
         {},
         1,
         nullptr},
        // The library's "OK" comes before its entry points are bound.
        {"cancelled once the library is loaded",
         "",
         nullptr,
         {"Load DLL:   ", "Deallocate DLL Memory\n... Result:   OK"},
         {"Search devices currently connected"},
         0,
         "... Result:   OK"},
        {"cancelled once the devices are counted",
         "",
         nullptr,
         {"Number of devices found:   1", "Deallocate DLL Memory\n... Result:   OK"},
         {"Check communication"},
         0,
         "Number of devices found"},
    };
    host.SetDetailed(true);
    for (const auto& c : cases)
    {
        host.ClearReport();
        host.Dialog().m_bCancel.store(FALSE);
        host.CancelWhenWritten(c.pszCancelAt != nullptr ? c.pszCancelAt : "");
        ScenarioFile scenario(c.pszScenario);
        std::unique_ptr<NoAnswerWait> noWait(Contains(c.pszScenario, "silent") ? new NoAnswerWait : nullptr);
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
    DeviceTableOverride table({{-1, 0x1234, nullptr, nullptr, nullptr}, {0x1234, -5, nullptr, nullptr, nullptr}});
    EXPECT_EQ(Run(), 0u);
    // Nothing but the opening lines and the summary: no registry lines, no
    // second separator, no driver lines.
    EXPECT_EQ(host.ReportText(), std::string(host.Dialog().GetOsVersionText()) + "\n" + kSeparator + Summary(true));
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
