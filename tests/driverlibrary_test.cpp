// Loading and unloading the driver library, the binding of its eight entry
// points by name, and the texts of the driver's status codes. The library is
// the simulated driver or one of its variants that lack an entry point.
#include "device_fixture.h"
#include "support/HandleCount.h"
#include "support/TestDialogHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

Slots SlotsOf(const CUsbInstallationTestDlg& dlg)
{
    Slots slots;
    std::memcpy(slots.p, &dlg.m_DriverEntryPoints, sizeof(slots.p));
    return slots;
}

// Every slot set to something that is not null, so that clearing them shows.
void SpoilSlots(CUsbInstallationTestDlg& dlg)
{
    std::memset(&dlg.m_DriverEntryPoints, 0x5A, sizeof(dlg.m_DriverEntryPoints));
}

bool IsLoaded(const std::string& path)
{
    return ::GetModuleHandleA(path.c_str()) != nullptr;
}

std::string LoadFailure(const std::string& name, DWORD dwCode)
{
    return ExpectedReport(true).Heading("Load DLL:   " + name).Error(dwCode).Text();
}

class DriverLibrary : public ::testing::Test
{
protected:
    void SetUp() override { SetEnv("USBSIM_SCENARIO", ""); }
    void TearDown() override
    {
        if (host.Dialog().m_hDriverLib != nullptr)
            host.Dialog().FreeDriverLibrary();
    }

    CUsbInstallationTestDlg& Dlg() { return host.Dialog(); }

    TestDialogHost host;
    NoReceivePause m_noPause;
};
} // namespace

TEST_F(DriverLibrary, ALibraryThatCannotBeLoadedReportsTheSystemTextAndClearsEverySlot)
{
    // The wrong-format file: garbage bytes under a library's name.
    const std::string garbage = TempDirectory() + "\\x.dll";
    ASSERT_TRUE(WriteFileBytes(garbage, std::string(4096, '\x5A')));
    struct
    {
        std::string name;
        DWORD dwExpected; // 0: whatever the system says, as long as it is not 0
    } cases[] = {
        {"NO_SUCH_KT480_DRIVER.DLL", ERROR_MOD_NOT_FOUND},
        {TempDirectory() + "\\no\\such\\folder\\KT480_D2XX.DLL", 0},
        // The longest name a caller may pass: the heading shows it whole.
        {TempDirectory() + "\\" + std::string(243 - TempDirectory().size() - 5, 'N') + ".DLL", 0},
        // Last, for the look at its text below.
        {garbage, ERROR_BAD_EXE_FORMAT},
    };
    for (bool bDetailed : {false, true})
    {
        host.SetDetailed(bDetailed);
        for (const auto& c : cases)
        {
            host.ClearReport();
            SpoilSlots(Dlg());
            const DWORD dwResult = Dlg().LoadDriverLibrary(c.name.c_str());
            if (c.dwExpected != 0)
                EXPECT_EQ(dwResult, c.dwExpected) << c.name;
            else
                EXPECT_NE(dwResult, 0u) << c.name;
            // The same in both views: no line of the failure is a detail.
            EXPECT_EQ(host.ReportText(), LoadFailure(c.name, dwResult)) << c.name << ", detailed " << bDetailed;
            EXPECT_EQ(Dlg().m_hDriverLib, nullptr) << c.name;
            const Slots slots = SlotsOf(Dlg());
            for (size_t i = 0; i < kSlots; ++i)
                EXPECT_EQ(slots.p[i], nullptr) << c.name << ": slot " << kEntryPointNames[i];
        }
    }
    // The text of 193 holds an insert, which the entry shows as it stands.
    EXPECT_TRUE(Contains(ReportedSystemText(ERROR_BAD_EXE_FORMAT), "%1")) << ReportedSystemText(ERROR_BAD_EXE_FORMAT);
    EXPECT_TRUE(Contains(host.ReportText(), "%1")) << host.ReportText();
    DeleteFileIfAny(garbage);
}

namespace
{
HMODULE WINAPI LoadLibraryFailingWithoutReason(LPCSTR)
{
    ::SetLastError(ERROR_SUCCESS);
    return nullptr;
}
} // namespace

TEST_F(DriverLibrary, ALoadThatFailsWithoutAReasonIsStillAFailure)
{
    SystemCallOverride<decltype(g_SystemCalls.LoadLibraryA)> fake(g_SystemCalls.LoadLibraryA,
                                                                  LoadLibraryFailingWithoutReason);
    SpoilSlots(Dlg());
    EXPECT_EQ(Dlg().LoadDriverLibrary("KT480_D2XX.DLL"), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(host.ReportText(), LoadFailure("KT480_D2XX.DLL", ERROR_GEN_FAILURE));
    EXPECT_EQ(Dlg().m_hDriverLib, nullptr);
    const Slots slots = SlotsOf(Dlg());
    for (size_t i = 0; i < kSlots; ++i)
        EXPECT_EQ(slots.p[i], nullptr) << kEntryPointNames[i];
}

TEST_F(DriverLibrary, ALoadBindsTheEightNamesInSlotOrderAndLeavesAMissingOneNull)
{
    for (const char* pszFile : {"KT480_D2XX.DLL", kNoListDevices, kNoEventNotification})
    {
        host.ClearReport();
        SpoilSlots(Dlg());
        const std::string path = SimulatorLibrary(pszFile);
        ASSERT_EQ(Dlg().LoadDriverLibrary(path.c_str()), 0u) << path;
        // "OK" says only that the file was loaded, also for a variant.
        EXPECT_EQ(host.ReportText(), "\nLoad DLL:   " + path + "\n... Result:   OK\n") << path;
        const HMODULE hModule = Dlg().m_hDriverLib;
        ASSERT_NE(hModule, nullptr);
        EXPECT_EQ(hModule, ::GetModuleHandleA(path.c_str())) << path;
        const Slots slots = SlotsOf(Dlg());
        for (size_t i = 0; i < kSlots; ++i)
        {
            void* pExpected = reinterpret_cast<void*>(::GetProcAddress(hModule, kEntryPointNames[i]));
            EXPECT_EQ(slots.p[i], pExpected) << pszFile << ": slot " << i << " (" << kEntryPointNames[i] << ")";
            const bool bMissing = (std::strcmp(pszFile, kNoListDevices) == 0 && i == 0) ||
                                  (std::strcmp(pszFile, kNoEventNotification) == 0 && i == 7);
            EXPECT_EQ(slots.p[i] == nullptr, bMissing) << pszFile << ": slot " << kEntryPointNames[i];
        }
        EXPECT_EQ(Dlg().FreeDriverLibrary(), 1) << path;
    }
}

TEST_F(DriverLibrary, ASecondLoadUnloadsTheFirstLibraryBeforeLoading)
{
    const std::string first = SimulatorLibrary(kNoListDevices);
    const std::string second = SimulatorLibrary();
    ASSERT_FALSE(IsLoaded(first)) << "held by someone else before the test";
    ASSERT_EQ(Dlg().LoadDriverLibrary(first.c_str()), 0u);
    ASSERT_TRUE(IsLoaded(first));
    ASSERT_EQ(Dlg().LoadDriverLibrary(second.c_str()), 0u);
    EXPECT_FALSE(IsLoaded(first)) << "the first library is still loaded";
    EXPECT_EQ(Dlg().m_hDriverLib, ::GetModuleHandleA(second.c_str()));
    EXPECT_NE(Dlg().m_DriverEntryPoints.FT_ListDevices, nullptr) << "the second library's binding";

    // A failing load after a good one: the good one is gone too.
    ASSERT_EQ(Dlg().LoadDriverLibrary("NO_SUCH_KT480_DRIVER.DLL"), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(IsLoaded(second)) << "the earlier library is still loaded after a failed load";
    EXPECT_EQ(Dlg().m_hDriverLib, nullptr);
}

TEST_F(DriverLibrary, UnloadingWithNothingLoadedIsAWarning)
{
    const std::string simple = "\nDeallocate DLL Memory\n... Result:   Warning\n";
    const std::string detailed = "\nDeallocate DLL Memory\n\tThe DLL has not been loaded yet.\n... Result:   Warning\n";
    host.SetDetailed(false);
    EXPECT_EQ(Dlg().FreeDriverLibrary(), 0);
    EXPECT_EQ(host.ReportText(), simple);
    host.ClearReport();
    host.SetDetailed(true);
    EXPECT_EQ(Dlg().FreeDriverLibrary(), 0);
    EXPECT_EQ(host.ReportText(), detailed);
}

TEST_F(DriverLibrary, UnloadingTwiceAfterOneLoadGivesOkThenTheWarning)
{
    const std::string path = SimulatorLibrary();
    host.SetDetailed(true);
    ASSERT_EQ(Dlg().LoadDriverLibrary(path.c_str()), 0u);
    host.ClearReport();
    EXPECT_EQ(Dlg().FreeDriverLibrary(), 1);
    EXPECT_EQ(Dlg().m_hDriverLib, nullptr);
    EXPECT_FALSE(IsLoaded(path));
    EXPECT_EQ(host.ReportText(), "\nDeallocate DLL Memory\n... Result:   OK\n");
    host.ClearReport();
    EXPECT_EQ(Dlg().FreeDriverLibrary(), 0);
    EXPECT_EQ(host.ReportText(),
              "\nDeallocate DLL Memory\n\tThe DLL has not been loaded yet.\n... Result:   Warning\n");
}

TEST_F(DriverLibrary, WithoutEventNotificationTheSearchWorksAndTheCommunicationTestStops)
{
    TraceFile trace;
    host.SetDetailed(true);
    const std::string path = SimulatorLibrary(kNoEventNotification);
    ASSERT_EQ(Dlg().LoadDriverLibrary(path.c_str()), 0u);
    host.ClearReport();
    EXPECT_EQ(Dlg().SearchDevices(), 0);
    EXPECT_EQ(Dlg().CheckCommunication(), 1u);
    EXPECT_EQ(host.ReportText(), ExpectedReport(true)
                                     .Heading("Search devices currently connected to the PC")
                                     .Detail("Number of devices found:   1")
                                     .Ok()
                                     .Heading("Check device communication")
                                     .Alert("Incorrect function pointer")
                                     .Warning()
                                     .Text());
    EXPECT_TRUE(trace.Calls("FT_OpenEx").empty()) << "a device was opened without every entry point";
}

TEST_F(DriverLibrary, WithoutListDevicesTheSearchReportsTheMissingFunction)
{
    TraceFile trace;
    const std::string path = SimulatorLibrary(kNoListDevices);
    for (bool bDetailed : {false, true})
    {
        host.SetDetailed(bDetailed);
        ASSERT_EQ(Dlg().LoadDriverLibrary(path.c_str()), 0u);
        host.ClearReport();
        EXPECT_EQ(Dlg().SearchDevices(), 1);
        EXPECT_EQ(Dlg().CheckCommunication(), 1u);
        EXPECT_EQ(host.ReportText(), ExpectedReport(bDetailed)
                                         .Heading("Search devices currently connected to the PC")
                                         .Alert("Incorrect function pointer")
                                         .Warning()
                                         .Heading("Check device communication")
                                         .Alert("Incorrect function pointer")
                                         .Warning()
                                         .Text())
            << "detailed " << bDetailed;
        EXPECT_EQ(Dlg().FreeDriverLibrary(), 1);
    }
    EXPECT_TRUE(trace.Lines().empty()) << "the driver was called: " << trace.Lines().front();
}

TEST_F(DriverLibrary, RepeatedFailingAndGoodLoadsLeaveNoHandlesBehind)
{
    const std::string garbage = TempDirectory() + "\\garbage.dll";
    ASSERT_TRUE(WriteFileBytes(garbage, "MZ" + std::string(1022, '\x01')));
    const std::string names[] = {"NO_SUCH_KT480_DRIVER.DLL", garbage, SimulatorLibrary(kNoListDevices),
                                 SimulatorLibrary(), SimulatorLibrary(kNoEventNotification)};
    const auto loadAll = [&] {
        for (const std::string& name : names)
        {
            Dlg().LoadDriverLibrary(name.c_str());
            Dlg().SearchDevices();
            Dlg().CheckCommunication();
        }
        Dlg().FreeDriverLibrary();
        Dlg().FreeDriverLibrary();
    };
    // One round first, for what the process keeps once each load has run; the
    // count is exact, so one more round shows a handle kept by any of them.
    loadAll();
    const long nBefore = CountProcessHandles(::GetCurrentProcessId());
    ASSERT_GT(nBefore, 0) << "the handle list could not be read";
    loadAll();
    host.PumpUntil([&] { return CountProcessHandles(::GetCurrentProcessId()) <= nBefore; }, 10000);
    EXPECT_EQ(CountProcessHandles(::GetCurrentProcessId()), nBefore) << "handles before and after a round";
    EXPECT_FALSE(IsLoaded(SimulatorLibrary())) << "a library is left loaded";
    DeleteFileIfAny(garbage);
}

TEST(DriverLibraryLifetime, TheDialogsDestructorUnloadsALibraryStillHeld)
{
    SetEnv("USBSIM_SCENARIO", "");
    NoReceivePause noPause;
    const std::string path = SimulatorLibrary();
    ASSERT_FALSE(IsLoaded(path)) << "held by someone else before the test";
    {
        auto pHost = std::make_unique<TestDialogHost>();
        ASSERT_EQ(pHost->Dialog().LoadDriverLibrary(path.c_str()), 0u);
        // A device was talked to, so the library has had delivery threads.
        ASSERT_EQ(pHost->Dialog().SearchDevices(), 0);
        ASSERT_EQ(pHost->Dialog().CheckCommunication(), 0u);
        ASSERT_TRUE(IsLoaded(path));
    }
    // A delivery thread lets go of the library on its way out.
    const DWORD dwStart = ::GetTickCount();
    while (IsLoaded(path) && ::GetTickCount() - dwStart < 10000)
        ::Sleep(10);
    EXPECT_FALSE(IsLoaded(path)) << "the library is still loaded after the dialog was destroyed";
}

// The table's ends and one status inside it, spelling included, and codes
// past its end.
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
        {19, ""},
        {255, ""},
        {0x80000000, ""},
        {0xFFFFFFFF, ""},
    };
    for (const auto& c : cases)
    {
        const LPCSTR pszText = CUsbInstallationTestDlg::GetStatusText(c.status);
        ASSERT_NE(pszText, nullptr) << "status " << c.status;
        EXPECT_STREQ(pszText, c.pszText) << "status " << c.status;
    }
}
