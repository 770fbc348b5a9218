// Loading and unloading the driver library, the binding of its eight entry
// points by name, and the texts of the driver's status codes. The library is
// the simulated driver or its variant that lacks an entry point.
#include "checks/CheckRun.h"
#include "device/StatusText.h"
#include "support/DeviceFixture.h"
#include "support/HandleCount.h"
#include "support/SeamFaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>

namespace
{
const char* const kEntryPointNames[] = {
    "FT_ListDevices", "FT_OpenEx", "FT_Close",   "FT_GetQueueStatus",
    "FT_Read",        "FT_Write",  "FT_EE_Read", "FT_SetEventNotification",
};
const size_t kSlots = sizeof(kEntryPointNames) / sizeof(kEntryPointNames[0]);
static_assert(sizeof(DRIVER_ENTRY_POINTS) == kSlots * sizeof(void*), "one slot per name");

struct Slots
{
    void* p[kSlots];
};

Slots SlotsOf(const DeviceRun& dev)
{
    Slots slots;
    std::memcpy(slots.p, &dev.entryPoints, sizeof(slots.p));
    return slots;
}

// Every slot set to something that is not null, so that clearing them shows.
void SpoilSlots(DeviceRun& dev)
{
    std::memset(&dev.entryPoints, 0x5A, sizeof(dev.entryPoints));
}

bool IsLoaded(const std::string& path)
{
    return ::GetModuleHandleA(path.c_str()) != nullptr;
}

void ExpectNoSlotBound(const DeviceRun& dev, const std::string& label)
{
    const Slots slots = SlotsOf(dev);
    for (size_t i = 0; i < kSlots; ++i)
        EXPECT_EQ(slots.p[i], nullptr) << label << ": slot " << kEntryPointNames[i];
}

class DriverLibrary : public ::testing::Test
{
protected:
    void SetUp() override { SetEnv("USBSIM_SCENARIO", ""); }
    DeviceRun dev;
    NoReceivePause m_noPause;
};
} // namespace

TEST_F(DriverLibrary, AFailedLoadReportsTheSystemTextAndClearsEverySlot)
{
    // The wrong-format file: garbage bytes under a library's name.
    const std::string garbage = TempDirectory() + "\\x.dll";
    ASSERT_TRUE(WriteFileBytes(garbage, std::string(4096, '\x5A')));
    struct
    {
        const char* pszCase;
        std::string name;
        DWORD dwExpected;    // 0: whatever the system says, as long as it is not 0
        bool bWithoutReason; // the load fails and leaves the last error 0
        bool bNoSystemDirectory = false;
    } cases[] = {
        {"ALibraryThatCannotBeLoaded: no such file", "NO_SUCH_KT480_DRIVER.DLL", ERROR_MOD_NOT_FOUND, false},
        {"ALibraryThatCannotBeLoaded: no such folder", TempDirectory() + "\\no\\such\\folder\\KT480_D2XX.DLL", 0,
         false},
        // The longest name a caller may pass: the heading shows it whole.
        {"ALibraryThatCannotBeLoaded: the longest name",
         TempDirectory() + "\\" + std::string(243 - TempDirectory().size() - 5, 'N') + ".DLL", 0, false},
        {"ALoadThatFailsWithoutAReasonIsStillAFailure", "KT480_D2XX.DLL", ERROR_GEN_FAILURE, true},
        // Never a search elsewhere for the installed library instead.
        {"TheSystemDirectoryCannotBeRead", "KT480_D2XX.DLL", ERROR_ACCESS_DENIED, false, true},
        // Last, for the look at its text below.
        {"ALibraryThatCannotBeLoaded: not a library", garbage, ERROR_BAD_EXE_FORMAT, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        std::optional<CallFault<decltype(g_SystemCalls.LoadLibraryExA)>> failing;
        if (c.bWithoutReason)
            failing.emplace(g_SystemCalls.LoadLibraryExA, nullptr, ERROR_SUCCESS);
        std::optional<DirectoryFault> denied;
        if (c.bNoSystemDirectory)
            denied.emplace(DirectoryFault::SYSTEM, 0, ERROR_ACCESS_DENIED);
        dev.ClearReport();
        SpoilSlots(dev);
        const DWORD dwResult = dev.LoadDriverLibrary(c.name.c_str()).dwCode;
        if (c.dwExpected != 0)
            EXPECT_EQ(dwResult, c.dwExpected);
        else
            EXPECT_NE(dwResult, 0u);
        // The same in both views: no line of the failure is a detail.
        EXPECT_EQ(dev.ReportText(), ExpectedReport(true).Load(c.name).Error(dwResult).Text());
        EXPECT_EQ(dev.hDriverLib, nullptr);
        ExpectNoSlotBound(dev, c.name);
    }
    // The text of 193 holds an insert, which the entry shows as it stands.
    EXPECT_TRUE(Contains(ReportedSystemText(ERROR_BAD_EXE_FORMAT), "%1")) << ReportedSystemText(ERROR_BAD_EXE_FORMAT);
    EXPECT_TRUE(Contains(dev.ReportText(), "%1")) << dev.ReportText();
    DeleteFileIfAny(garbage);
}

TEST_F(DriverLibrary, ALoadBindsTheEightNamesInSlotOrderAndLeavesAMissingOneNull)
{
    // From the library's version resource; the variant has no resources at all.
    const std::string noVersion = "none, 0x00000714 (1812): " + ReportedSystemText(ERROR_RESOURCE_DATA_NOT_FOUND);
    for (const char* pszFile : {"KT480_D2XX.DLL", kNoListDevices})
    {
        dev.ClearReport();
        SpoilSlots(dev);
        const std::string path = SimulatorLibrary(pszFile);
        ASSERT_EQ(dev.LoadDriverLibrary(path.c_str()).kind, RESULT_OK) << path;
        // "OK" says only that the file was loaded, also for a variant.
        EXPECT_EQ(dev.ReportText(),
                  ExpectedReport(true).Loaded(path, pszFile == kNoListDevices ? noVersion : kSimulatorVersion).Text())
            << path;
        const HMODULE hModule = dev.hDriverLib;
        ASSERT_NE(hModule, nullptr);
        EXPECT_EQ(hModule, ::GetModuleHandleA(path.c_str())) << path;
        const Slots slots = SlotsOf(dev);
        for (size_t i = 0; i < kSlots; ++i)
        {
            void* pExpected = reinterpret_cast<void*>(::GetProcAddress(hModule, kEntryPointNames[i]));
            EXPECT_EQ(slots.p[i], pExpected) << pszFile << ": slot " << i << " (" << kEntryPointNames[i] << ")";
            const bool bMissing = std::strcmp(pszFile, kNoListDevices) == 0 && i == 0;
            EXPECT_EQ(slots.p[i] == nullptr, bMissing) << pszFile << ": slot " << kEntryPointNames[i];
        }
        EXPECT_EQ(dev.FreeDriverLibrary().kind, RESULT_OK) << path;
    }
}

TEST_F(DriverLibrary, ASecondLoadUnloadsTheFirstLibraryBeforeLoading)
{
    const std::string first = SimulatorLibrary(kNoListDevices);
    const std::string second = SimulatorLibrary();
    ASSERT_FALSE(IsLoaded(first)) << "held by someone else before the test";
    ASSERT_EQ(dev.LoadDriverLibrary(first.c_str()).kind, RESULT_OK);
    ASSERT_TRUE(IsLoaded(first));
    ASSERT_EQ(dev.LoadDriverLibrary(second.c_str()).kind, RESULT_OK);
    EXPECT_FALSE(IsLoaded(first)) << "the first library is still loaded";
    EXPECT_EQ(dev.hDriverLib, ::GetModuleHandleA(second.c_str()));
    EXPECT_NE(dev.entryPoints.FT_ListDevices, nullptr) << "the second library's binding";

    // A failing load after a good one: the good one is gone too.
    ASSERT_EQ(dev.LoadDriverLibrary("NO_SUCH_KT480_DRIVER.DLL").dwCode, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(IsLoaded(second)) << "the earlier library is still loaded after a failed load";
    EXPECT_EQ(dev.hDriverLib, nullptr);
}

TEST_F(DriverLibrary, UnloadingGivesOkOnceAfterALoadAndOtherwiseTheWarning)
{
    const std::string path = SimulatorLibrary();
    dev.ClearReport();
    EXPECT_EQ(dev.FreeDriverLibrary().kind, RESULT_WARNING) << "nothing loaded";
    EXPECT_EQ(dev.ReportText(), ExpectedReport(true).NothingToFree().Text()) << "nothing loaded";
    ASSERT_EQ(dev.LoadDriverLibrary(path.c_str()).kind, RESULT_OK);
    dev.ClearReport();
    EXPECT_EQ(dev.FreeDriverLibrary().kind, RESULT_OK);
    EXPECT_EQ(dev.hDriverLib, nullptr);
    EXPECT_FALSE(IsLoaded(path));
    EXPECT_EQ(dev.ReportText(), ExpectedReport(true).Freed().Text());
    dev.ClearReport();
    EXPECT_EQ(dev.FreeDriverLibrary().kind, RESULT_WARNING) << "unloaded twice";
    EXPECT_EQ(dev.ReportText(), ExpectedReport(true).NothingToFree().Text()) << "unloaded twice";
}

// Each other entry point missing: the device test's AMissingEntryPoint case.
TEST_F(DriverLibrary, AVariantWithoutTheListingStopsTheSearchWithoutCallingTheDriver)
{
    TraceFile trace;
    ASSERT_EQ(dev.LoadDriverLibrary(SimulatorLibrary(kNoListDevices).c_str()).kind, RESULT_OK);
    dev.ClearReport();
    EXPECT_EQ(dev.SearchDevices().kind, RESULT_WARNING);
    EXPECT_EQ(dev.CheckCommunication().kind, RESULT_WARNING);
    ExpectedReport expected(true);
    expected.Heading(Text::kSearch).Alert(Text::kNoEntryPoint).Warning();
    expected.Heading(Text::kCommunication).Alert(Text::kNoEntryPoint).Warning();
    EXPECT_EQ(dev.ReportText(), expected.Text());
    EXPECT_EQ(dev.FreeDriverLibrary().kind, RESULT_OK);
    EXPECT_TRUE(trace.Lines().empty()) << "the driver was called: " << trace.Lines().front();
}

TEST_F(DriverLibrary, RepeatedFailingAndGoodLoadsLeaveNoHandlesBehind)
{
    const std::string garbage = TempDirectory() + "\\garbage.dll";
    ASSERT_TRUE(WriteFileBytes(garbage, "MZ" + std::string(1022, '\x01')));
    const std::string names[] = {"NO_SUCH_KT480_DRIVER.DLL", garbage, SimulatorLibrary(kNoListDevices),
                                 SimulatorLibrary()};
    const auto loadAll = [&] {
        for (const std::string& name : names)
        {
            dev.LoadDriverLibrary(name.c_str());
            dev.SearchDevices();
            dev.CheckCommunication();
        }
        dev.FreeDriverLibrary();
        dev.FreeDriverLibrary();
    };
    // One round first, for what the process keeps once each load has run; the
    // count is exact, so one more round shows a handle kept by any of them.
    loadAll();
    EXPECT_EQ(HandlesLeftBy(loadAll), 0) << "handles left by a round";
    EXPECT_FALSE(IsLoaded(SimulatorLibrary())) << "a library is left loaded";
    DeleteFileIfAny(garbage);
}

TEST(DriverLibraryLifetime, ARunUnloadsTheLibraryItTalkedTo)
{
    NoReceivePause noPause;
    const std::string path = SimulatorLibrary();
    ScenarioFile scenario(OneDevice());
    DeviceTableOverride table({{-1, -1, path.c_str(), nullptr, nullptr}});
    ASSERT_FALSE(IsLoaded(path)) << "held by someone else before the test";
    {
        CCheckRun run;
        RecordingWriter writer;
        // A device was talked to, so the library has had delivery threads.
        ASSERT_EQ(run.Run(writer), RUN_SUCCEEDED) << writer.Text();
    }
    // A delivery thread lets go of the library on its way out.
    EXPECT_TRUE(PollUntil(::GetTickCount() + 10000, [&] { return !IsLoaded(path); }))
        << "the library is still loaded after the run";
}

// The table's ends and one status inside it, spelling included, and codes
// past its end by their numbers.
TEST(StatusText, NamesEveryDriverStatusAndNothingElse)
{
    const struct
    {
        FT_STATUS status;
        const char* pszText;
    } cases[] = {
        {0, "The operation completed successfully."},
        {14, "The system could not found the EEPROM of the device."},
        {18, "The operation finished with an unknown error."},
        {19, "Unknown status 19 (0x00000013)"},
        {0xFFFFFFFF, "Unknown status 4294967295 (0xFFFFFFFF)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::string(GetStatusText(c.status)), c.pszText) << "status " << c.status;
}
