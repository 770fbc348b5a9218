// The check run: the check thread's parameter test, the opening lines and
// separators, which check runs after which result, the cancel tests, the
// summary and the outcome. Devices come from a table of the test's own; the
// driver is the simulated one.
#include "app/UsbInstallationTestDlg.h"
#include "checks/CheckRun.h"
#include "checks/OsVersion.h"
#include "support/DeviceFixture.h"
#include "support/SeamFaults.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
std::string Summary(bool bSucceeded)
{
    return ExpectedReport(false).Summary(bSucceeded).Text();
}

// The library's unloading after it was loaded, as the report shows it.
const std::string kFreed = ExpectedReport(false).Freed().Text();

// Vendor and product that no test registers.
const int kUnregisteredVendor = 0x0403;
const int kUnregisteredProduct = 0x0001;

class CheckRun : public ::testing::Test
{
protected:
    void SetUp() override { SetEnv("USBSIM_SCENARIO", ""); }

    RunOutcome Run() { return run.Run(writer); }
    std::string ReportText() const { return writer.Text(); }

    CCheckRun run;
    RecordingWriter writer;
    const std::string m_strSimulator = SimulatorLibrary();
    NoReceivePause m_noPause;
};
} // namespace

// Taken for a run thread, any of these would crash the test.
TEST(CheckThread, RejectsANullParameterAndObjectsOfOtherClasses)
{
    EXPECT_EQ(CheckThreadProc(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CDialog plainDialog(102);
    EXPECT_EQ(CheckThreadProc(static_cast<CObject*>(&plainDialog)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CButton button;
    EXPECT_EQ(CheckThreadProc(static_cast<CObject*>(&button)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CUsbInstallationTestDlg dialog;
    EXPECT_EQ(CheckThreadProc(static_cast<CObject*>(&dialog)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CheckRun, OpeningLinesSeparatorsAndTheOrderOfTheChecks)
{
    DeviceTableOverride table({{kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), "U.EXE", "U.INI"}});
    EXPECT_EQ(Run(), RUN_FINISHED);
    const std::string report = ReportText();

    EXPECT_EQ(report.find(std::string(GetOsVersionText()) + "\n" + kSeparator), 0u) << report;
    EXPECT_EQ(CountOf(report, kSeparator), 2u) << report;
    // The device key is unknown: the common check fails, the device-specific
    // check is skipped, and the driver checks still run after the second separator.
    const size_t nCommon = report.find(Text::kCommon + std::string("Vid_0403&Pid_0001"));
    const size_t nSecondSeparator = report.find(kSeparator, report.find(kSeparator) + 1);
    const size_t nLoad = report.find(ExpectedReport(false).Load(m_strSimulator).Text());
    const size_t nSearch = report.find(ExpectedReport(false).Heading(Text::kSearch).Text());
    const size_t nCommunication = report.find(Text::kDevice);
    const size_t nFree = report.find(kFreed);
    ASSERT_NE(nCommon, std::string::npos) << report;
    EXPECT_FALSE(Contains(report, Text::kSpecific)) << report;
    EXPECT_LT(nCommon, nSecondSeparator);
    EXPECT_LT(nSecondSeparator, nLoad);
    EXPECT_LT(nLoad, nSearch);
    EXPECT_LT(nSearch, nCommunication);
    EXPECT_LT(nCommunication, nFree);
    EXPECT_TRUE(EndsWith(report, kFreed + Summary(false))) << "expected the end\n" << kFreed << "in\n" << report;
}

TEST_F(CheckRun, SucceedsOnlyWhenEveryCheckPassed)
{
    // Negative IDs keep the entry out of the registry checks; the simulated
    // instrument is healthy.
    ScenarioFile file(OneDevice());
    DeviceTableOverride table({{-1, 0xB7E4, m_strSimulator.c_str(), nullptr, nullptr}});
    FakeCounter counter;
    EXPECT_EQ(Run(), RUN_SUCCEEDED);
    // No registry part: the opening separator and the driver loop's follow each other.
    ExpectedReport expected(true);
    expected.Line(std::string(GetOsVersionText())).Separator().Separator();
    expected.Loaded(m_strSimulator, kSimulatorVersion).Found(1);
    expected.UpToTheWait(kOneDevice).Answered(27, 27, kTestAnswer, kFakeResponseTime);
    expected.Freed().Summary(true);
    EXPECT_EQ(ReportText(), expected.Text());
}

TEST_F(CheckRun, FailuresInTheDriverPartEndWithCheckFinished)
{
    struct
    {
        const char* pszCase;
        RunOutcome outcome;
        std::string scenario;
        std::vector<std::string> present;
        std::vector<std::string> absent;
        const char* pszLibrary = nullptr;  // the simulated driver
        const char* pszCancelAt = nullptr; // the dialog closes while this line is written
    } cases[] = {
        {"library cannot be loaded",
         RUN_FINISHED,
         "",
         {ExpectedReport(true).NothingToFree().Text()},
         {Text::kSearch, Text::kDevice},
         "Z:\\no\\such\\driver.dll"},
        {"the search fails", RUN_FINISHED, "[driver]\ncount_status=4\n", {Text::kSearch, kFreed}, {Text::kDevice}},
        {"no device connected", RUN_FINISHED, "[driver]\ncount=0\n", {Text::kNoDevice, kFreed}, {Text::kDevice}},
        {"device does not answer", RUN_FINISHED, "[device0]\nsilent=1\n", {Text::kTimeout, kFreed}, {}},
        // The library's "OK" comes before its entry points are bound.
        {"cancelled once the library is loaded",
         RUN_CANCELLED,
         "",
         {Text::kLoad, kFreed},
         {Text::kSearch},
         nullptr,
         "... Result:   OK"},
        {"cancelled once the devices are counted",
         RUN_CANCELLED,
         "",
         {Text::kDevicesFound + std::string("1"), kFreed},
         {Text::kDevice},
         nullptr,
         Text::kDevicesFound},
        {"the device cannot be opened", RUN_FINISHED, OneDevice("open_status = 3\n"), {}, {Text::kSucceeded}},
    };
    for (const auto& c : cases)
    {
        // A cancel stays: each case has a run of its own.
        CCheckRun caseRun;
        writer.Clear();
        if (c.pszCancelAt != nullptr)
            writer.WhenWritten(c.pszCancelAt, [&caseRun] { caseRun.Cancel(); });
        ScenarioFile scenario(c.scenario);
        std::unique_ptr<NoAnswerWait> noWait(Contains(c.scenario, "silent") ? new NoAnswerWait : nullptr);
        const std::string library = c.pszLibrary != nullptr ? c.pszLibrary : m_strSimulator;
        DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
        EXPECT_EQ(caseRun.Run(writer), c.outcome) << c.pszCase;
        const std::string report = ReportText();
        for (const std::string& part : c.present)
            EXPECT_TRUE(Contains(report, part)) << c.pszCase << ": missing \"" << part << "\" in\n" << report;
        for (const std::string& part : c.absent)
            EXPECT_FALSE(Contains(report, part)) << c.pszCase << ": unexpected \"" << part << "\" in\n" << report;
        EXPECT_TRUE(EndsWith(report, Summary(false))) << c.pszCase << ":\n" << report;
    }
}

TEST_F(CheckRun, EntriesWithoutIdsOrLibraryTakeNoPartInTheirLoop)
{
    {
        DeviceTableOverride table({{-1, 0x1234, nullptr, nullptr, nullptr}, {0x1234, -5, nullptr, nullptr, nullptr}});
        EXPECT_EQ(Run(), RUN_SUCCEEDED);
        // Nothing but the opening lines and the summary: no registry lines, no
        // second separator, no driver lines.
        EXPECT_EQ(ReportText(), std::string(GetOsVersionText()) + "\n" + kSeparator + Summary(true));
    }
    // Among entries with a library.
    ScenarioFile file(OneDevice());
    DeviceTableOverride table({{-1, -1, m_strSimulator.c_str(), nullptr, nullptr},
                               {-1, -1, nullptr, nullptr, nullptr},
                               {-1, -1, m_strSimulator.c_str(), nullptr, nullptr}});
    writer.Clear();
    EXPECT_EQ(Run(), RUN_SUCCEEDED);
    const std::string report = ReportText();
    // The opening separator and one for each entry with a library.
    EXPECT_EQ(CountOf(report, kSeparator), 3u) << report;
    EXPECT_EQ(CountOf(report, "\n" + std::string(Text::kLoad)), 2u) << report;
    EXPECT_EQ(CountOf(report, kFreed), 2u) << report;
    EXPECT_TRUE(EndsWith(report, Summary(true))) << report;
}

TEST_F(CheckRun, CancelledBeforeTheOpeningLinesWritesOnlyTheSummary)
{
    {
        // A wait that the event ends looks at the flag: it is set first.
        bool bCancelledAtSignal = false;
        const SetEventRecorder signals([&] { bCancelledAtSignal = run.IsCancelled() != FALSE; });
        run.Cancel();
        EXPECT_EQ(SetEventRecorder::Calls(), 1) << "the cancel event was not signalled";
        EXPECT_TRUE(bCancelledAtSignal) << "the event was signalled before the flag was set";
    }
    EXPECT_EQ(Run(), RUN_CANCELLED);
    EXPECT_EQ(ReportText(), Summary(false));
}

namespace
{
CCheckRun* g_pCancelledRun = nullptr;

LONG WINAPI CancellingRegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    // The run is cancelled while the common check is under way.
    g_pCancelledRun->Cancel();
    return ::RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
}
} // namespace

TEST_F(CheckRun, CancelledDuringTheCommonCheckSkipsEverythingAfterIt)
{
    DeviceTableOverride table({{kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), nullptr, nullptr},
                               {kUnregisteredVendor, kUnregisteredProduct, m_strSimulator.c_str(), nullptr, nullptr}});
    g_pCancelledRun = &run;
    SystemCallOverride<decltype(g_SystemCalls.RegOpenKeyExA)> fake(g_SystemCalls.RegOpenKeyExA,
                                                                   CancellingRegOpenKeyExA);
    EXPECT_EQ(Run(), RUN_CANCELLED);
    const std::string report = ReportText();
    EXPECT_EQ(CountOf(report, Text::kCommon), 1u) << report;
    EXPECT_FALSE(Contains(report, Text::kSpecific)) << report;
    EXPECT_FALSE(Contains(report, Text::kLoad)) << report;
    EXPECT_EQ(CountOf(report, kSeparator), 1u) << report;
    EXPECT_TRUE(EndsWith(report, Summary(false))) << report;
}
