// Tests of the simulated driver library, loaded as the product loads it: by
// path with LoadLibraryA, the entry points bound by name, and a scenario file
// named in USBSIM_SCENARIO before each load.
#include "device/D2xx.h"
#include "support/Fixtures.h"
#include "support/HandleCount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace
{
const char kLibraryFile[] = "KT480_D2XX.DLL";
const char kRequest[] = "*IDN?;\n";
const DWORD kRequestLength = 7;
const char kDefaultDescription[] = "USB Measurement Instrument";
const char kDefaultAnswer[] = "Simulated Instruments,USB-SIM 1,SIM00001,1.0\r\n";
const DWORD kListFlags = FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION;
const size_t kListBufferSize = 260;
// A bound for states we wait for, far above anything the scenarios ask for.
const DWORD kWaitMs = 10000;
// The latency of a delivery that must never arrive during a test.
const char kNeverMs[] = "600000";

class CEvent : NonCopyable
{
public:
    CEvent() : m_hEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CEvent() { CloseHandle(m_hEvent); }
    bool Wait(DWORD dwMs = kWaitMs) const { return WaitForSingleObject(m_hEvent, dwMs) == WAIT_OBJECT_0; }
    HANDLE m_hEvent;
};

// The EEPROM texts in buffers of the sizes the driver's callers must give.
struct EepromBuffers
{
    EepromBuffers()
    {
        data.Signature2 = 0xFFFFFFFF;
        data.Manufacturer = szManufacturer;
        data.ManufacturerId = szManufacturerId;
        data.Description = szDescription;
        data.SerialNumber = szSerial;
    }
    char szManufacturer[32] = {}, szManufacturerId[16] = {}, szDescription[64] = {}, szSerial[16] = {};
    FT_PROGRAM_DATA data = {};
};

class CSimLibrary : NonCopyable
{
public:
    explicit CSimLibrary(const char* pszFile = kLibraryFile)
        : m_hModule(LoadLibraryA(SimulatorLibrary(pszFile).c_str()))
    {
    }
    ~CSimLibrary()
    {
        if (m_hModule != nullptr)
            FreeLibrary(m_hModule);
    }

    bool IsLoaded() const { return m_hModule != nullptr; }

    FT_STATUS OpenNamed(const char* pszDescription, FT_HANDLE* phDevice)
    {
        return OpenEx(const_cast<char*>(pszDescription), FT_OPEN_BY_DESCRIPTION, phDevice);
    }

    // Lists device nIndex and opens it by the listed description.
    FT_HANDLE OpenByIndex(DWORD nIndex)
    {
        char szDescription[kListBufferSize] = {};
        FT_HANDLE hDevice = nullptr;
        EXPECT_EQ(ListDevices(reinterpret_cast<PVOID>(static_cast<UINT_PTR>(nIndex)), szDescription, kListFlags), FT_OK)
            << "listing device " << nIndex;
        EXPECT_EQ(OpenNamed(szDescription, &hDevice), FT_OK) << szDescription;
        return hDevice;
    }

    // Sends the identification request, to be signalled on event.
    void Request(FT_HANDLE hDevice, const CEvent& event)
    {
        DWORD dwWritten = 0;
        EXPECT_EQ(SetEventNotification(hDevice, FT_EVENT_RXCHAR, event.m_hEvent), FT_OK);
        EXPECT_EQ(Write(hDevice, const_cast<char*>(kRequest), kRequestLength, &dwWritten), FT_OK);
        EXPECT_EQ(dwWritten, kRequestLength);
    }

    // The statuses of the calls the product makes on an open device: FT_EE_Read,
    // FT_SetEventNotification, the request's FT_Write, FT_GetQueueStatus, FT_Read.
    std::vector<FT_STATUS> UseDevice(FT_HANDLE hDevice)
    {
        EepromBuffers ee;
        CEvent event;
        DWORD dwCount = 0;
        char buffer[64];
        std::vector<FT_STATUS> statuses = {EeRead(hDevice, &ee.data),
                                           SetEventNotification(hDevice, FT_EVENT_RXCHAR, event.m_hEvent),
                                           Write(hDevice, const_cast<char*>(kRequest), kRequestLength, &dwCount)};
        if (statuses[1] == FT_OK && statuses[2] == FT_OK)
        {
            EXPECT_TRUE(event.Wait());
        }
        statuses.push_back(GetQueueStatus(hDevice, &dwCount));
        statuses.push_back(Read(hDevice, buffer, sizeof(buffer), &dwCount));
        return statuses;
    }

    std::string ReadAll(FT_HANDLE hDevice)
    {
        DWORD dwQueued = 0;
        DWORD dwReturned = 0;
        EXPECT_EQ(GetQueueStatus(hDevice, &dwQueued), FT_OK);
        std::string data(dwQueued, '\0');
        EXPECT_EQ(Read(hDevice, &data[0], dwQueued, &dwReturned), FT_OK);
        EXPECT_EQ(dwReturned, dwQueued);
        return data;
    }

    template <typename PFN>
    PFN Bind(const char* pszName) const
    {
        return reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(m_hModule, pszName)));
    }

    const HMODULE m_hModule;
    const PFN_FT_ListDevices ListDevices = Bind<PFN_FT_ListDevices>("FT_ListDevices");
    const PFN_FT_OpenEx OpenEx = Bind<PFN_FT_OpenEx>("FT_OpenEx");
    const PFN_FT_Close Close = Bind<PFN_FT_Close>("FT_Close");
    const PFN_FT_GetQueueStatus GetQueueStatus = Bind<PFN_FT_GetQueueStatus>("FT_GetQueueStatus");
    const PFN_FT_Read Read = Bind<PFN_FT_Read>("FT_Read");
    const PFN_FT_Write Write = Bind<PFN_FT_Write>("FT_Write");
    const PFN_FT_EE_Read EeRead = Bind<PFN_FT_EE_Read>("FT_EE_Read");
    const PFN_FT_SetEventNotification SetEventNotification =
        Bind<PFN_FT_SetEventNotification>("FT_SetEventNotification");
};

// A call made on a thread of its own, so that a call that blocks fails the
// test instead of hanging it.
class CCallThread : NonCopyable
{
public:
    explicit CCallThread(std::function<void()> call)
        : m_call(std::move(call)), m_hThread(CreateThread(nullptr, 0, Run, this, 0, nullptr))
    {
    }
    ~CCallThread()
    {
        Ended();
        CloseHandle(m_hThread);
    }
    bool Ended(DWORD dwMs = kWaitMs) const { return WaitForSingleObject(m_hThread, dwMs) == WAIT_OBJECT_0; }
    static DWORD WINAPI Run(LPVOID pThis)
    {
        static_cast<CCallThread*>(pThis)->m_call();
        return 0;
    }

    const std::function<void()> m_call;
    const HANDLE m_hThread;
};
TEST(Simulator, DefaultDeviceListsOpensReadsItsEepromAndRefusesUnknownHandles)
{
    CSimLibrary lib;
    ASSERT_TRUE(lib.IsLoaded()) << SimulatorLibrary() << " error " << GetLastError();
    DWORD dwCount = 0;
    EXPECT_EQ(lib.ListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(dwCount, 1u);
    char szDescription[kListBufferSize];
    EXPECT_EQ(lib.ListDevices(reinterpret_cast<PVOID>(1), szDescription, kListFlags), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(lib.ListDevices(nullptr, szDescription, kListFlags), FT_OK);
    EXPECT_STREQ(szDescription, kDefaultDescription);

    FT_HANDLE hDevice = nullptr, hSecond = nullptr;
    ASSERT_EQ(lib.OpenNamed(szDescription, &hDevice), FT_OK);
    EXPECT_EQ(lib.OpenNamed(szDescription, &hSecond), FT_DEVICE_NOT_OPENED) << "open twice";
    EXPECT_EQ(lib.OpenNamed("No Such Device", &hSecond), FT_DEVICE_NOT_FOUND);
    EepromBuffers ee;
    ASSERT_EQ(lib.EeRead(hDevice, &ee.data), FT_OK);
    EXPECT_EQ(ee.data.VendorId, 0x0403);
    EXPECT_EQ(ee.data.ProductId, 0xB7E4);
    EXPECT_STREQ(ee.szManufacturer, "Simulated Instruments");
    EXPECT_STREQ(ee.szManufacturerId, "SI");
    EXPECT_STREQ(ee.szDescription, kDefaultDescription);
    EXPECT_STREQ(ee.szSerial, "SIM00001");
    EXPECT_EQ(lib.Close(hDevice), FT_OK);
    EXPECT_EQ(lib.Close(hDevice), FT_INVALID_HANDLE) << "a closed handle must stay invalid";

    FT_HANDLE hOpen = lib.OpenByIndex(0);
    ASSERT_NE(hOpen, hDevice) << "a reopened device must not take its old handle";
    // Where a driver's handles may lie above 4 GB, the simulator's do, so that
    // a caller that keeps one in 32 bits loses it.
    if (sizeof(FT_HANDLE) == 8)
    {
        EXPECT_GT(reinterpret_cast<UINT_PTR>(hOpen), 0xFFFFFFFFu) << "a 64-bit build's handle fits in 32 bits";
    }
    for (FT_HANDLE hBad : {FT_HANDLE(nullptr), hDevice, reinterpret_cast<FT_HANDLE>(0x1234)})
    {
        SCOPED_TRACE(hBad);
        EXPECT_EQ(lib.UseDevice(hBad), std::vector<FT_STATUS>(5, FT_INVALID_HANDLE));
        EXPECT_EQ(lib.Close(hBad), FT_INVALID_HANDLE);
    }
    EXPECT_EQ(lib.Close(hOpen), FT_OK) << "refused calls must not disturb the open device";
}

TEST(Simulator, AnswersFromItsOwnThreadAfterTheLatencyWithTheScenarioText)
{
    std::string pattern300;
    while (pattern300.size() < 300)
        pattern300 += "ABC\r\n";
    pattern300.resize(300);
    const struct
    {
        const char* pszName;
        const char* pszKeys;
        DWORD dwLatencyMs;
        std::string expected;
    } cases[] = {
        {"latency_ms = 0", "latency_ms = 0\n", 0, kDefaultAnswer},
        {"latency_ms = 50", "latency_ms = 50\n", 50, kDefaultAnswer},
        {"300 bytes from a pattern", "answer = ABC\\r\\n\nanswer_length = 300\n", 0, pattern300},
        {"cut to length", "answer = ABCDEFGH\nanswer_length = 3\n", 0, "ABC"},
        {"escapes", "answer = \"A\\x42\\0C\\\\ \\t\\r\\n\"\n", 0, std::string("AB\0C\\ \t\r\n", 9)},
        {"only line ends", "answer = \\r\\n\\r\\n\n", 0, "\r\n\r\n"},
    };
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        TraceFile trace;
        ScenarioFile scenario(std::string("[device0]\n") + test.pszKeys);
        CSimLibrary lib;
        ASSERT_TRUE(lib.IsLoaded());
        FT_HANDLE hDevice = lib.OpenByIndex(0);
        CEvent event;
        lib.Request(hDevice, event);
        ASSERT_TRUE(event.Wait()) << "no signal within " << kWaitMs << " ms";
        DWORD dwQueued = 0;
        EXPECT_EQ(lib.GetQueueStatus(hDevice, &dwQueued), FT_OK);
        EXPECT_EQ(dwQueued, test.expected.size());
        // Read in two parts, as a reader with a small buffer would.
        std::string received(test.expected.size(), '\0');
        DWORD dwFirst = 0, dwRest = 0, dwHalf = static_cast<DWORD>(received.size() / 2);
        EXPECT_EQ(lib.Read(hDevice, &received[0], dwHalf, &dwFirst), FT_OK);
        EXPECT_EQ(dwFirst, dwHalf);
        EXPECT_EQ(lib.Read(hDevice, &received[dwHalf], static_cast<DWORD>(received.size()) - dwHalf, &dwRest), FT_OK);
        EXPECT_EQ(dwFirst + dwRest, test.expected.size());
        EXPECT_EQ(received, test.expected);

        EXPECT_EQ(lib.Close(hDevice), FT_OK);

        // Ordering, not speed: the answer may not come before its latency,
        // counted from the return of FT_Write.
        const std::vector<std::string> signals = trace.Calls("SIM_Signal");
        ASSERT_EQ(signals.size(), 1u);
        const LONGLONG llWrite = std::atoll(TraceValue(signals[0], "write_qpc").c_str());
        EXPECT_NE(llWrite, 0) << signals[0];
        EXPECT_GE(std::atoll(TraceValue(signals[0], "signal_qpc").c_str()) - llWrite,
                  frequency.QuadPart * test.dwLatencyMs / 1000)
            << signals[0];
        EXPECT_NE(TraceValue(signals[0], "thread"), std::to_string(GetCurrentThreadId()))
            << "signalled from the caller's thread: " << signals[0];
    }
}

TEST(Simulator, ChunksAreQueuedAndSignalledOneByOne)
{
    const struct
    {
        const char* pszName;
        const char* pszAnswer;
        DWORD nChunks;
        std::vector<unsigned> sizes;
    } cases[] = {
        {"uneven", "0123456789", 3, {4, 3, 3}},
        {"more chunks than bytes", "xyz", 5, {1, 1, 1}},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        TraceFile trace;
        ScenarioFile scenario(std::string("[device0]\nanswer = ") + test.pszAnswer +
                              "\nchunks = " + std::to_string(test.nChunks) + "\nchunk_gap_ms = 20\n");
        CSimLibrary lib;
        FT_HANDLE hDevice = lib.OpenByIndex(0);
        CEvent event;
        lib.Request(hDevice, event);
        const DWORD dwTotal = static_cast<DWORD>(strlen(test.pszAnswer));
        DWORD dwQueued = 0;
        unsigned nWakes = 0;
        while (dwQueued < dwTotal)
        {
            ASSERT_TRUE(event.Wait()) << "queued " << dwQueued << " of " << dwTotal;
            ++nWakes;
            DWORD dwBefore = dwQueued;
            ASSERT_EQ(lib.GetQueueStatus(hDevice, &dwQueued), FT_OK);
            EXPECT_GT(dwQueued, 0u) << "signalled with an empty queue";
            EXPECT_GE(dwQueued, dwBefore) << "the queue shrank";
        }
        EXPECT_EQ(dwQueued, dwTotal);
        EXPECT_LE(nWakes, test.sizes.size());
        EXPECT_EQ(lib.ReadAll(hDevice), test.pszAnswer);
        EXPECT_EQ(lib.Close(hDevice), FT_OK);

        const std::vector<std::string> signals = trace.Calls("SIM_Signal");
        ASSERT_EQ(signals.size(), test.sizes.size());
        unsigned nQueued = 0;
        for (size_t i = 0; i < signals.size(); ++i)
        {
            nQueued += test.sizes[i];
            std::string chunk = std::to_string(i + 1) + "/" + std::to_string(test.sizes.size());
            EXPECT_EQ(TraceValue(signals[i], "chunk"), chunk) << signals[i];
            EXPECT_EQ(TraceValue(signals[i], "n"), std::to_string(test.sizes[i])) << signals[i];
            EXPECT_EQ(TraceValue(signals[i], "queued"), std::to_string(nQueued)) << signals[i];
        }
    }
}

TEST(Simulator, EachLoadReadsItsScenarioAfreshOrRefusesEveryCallForATypo)
{
    const DWORD kUntouched = 0xDEADBEEF;
    const struct
    {
        const char* pszName;
        const char* pszScenario; // null: no scenario variable
        FT_STATUS nCountStatus;
        DWORD dwCount;
        const char* pszFirst;  // the first device's description, null: not listed
        const char* pszReason; // why the scenario was refused, "" when it was read
    } cases[] = {
        {"Alpha", "[device0]\ndescription = Alpha\n", FT_OK, 1, "Alpha", ""},
        {"Beta", "[device0]\ndescription = Beta\n", FT_OK, 1, "Beta", ""},
        {"no scenario", nullptr, FT_OK, 1, kDefaultDescription, ""},
        {"empty scenario", "", FT_OK, 1, kDefaultDescription, ""},
        {"count set", "[driver]\ncount = 3\n", FT_OK, 3, kDefaultDescription, ""},
        {"count zero", "[driver]\ncount = 0\n", FT_OK, 0, nullptr, ""},
        {"one per device section", "[device0]\n[device1]\n", FT_OK, 2, kDefaultDescription, ""},
        {"sparse sections", "[device2]\nsilent = 1\n", FT_OK, 3, kDefaultDescription, ""},
        {"comments and blanks", "; top\n[ Device0 ]\n; semicolon\ndescription = Alpha ; not a comment\n", FT_OK, 1,
         "Alpha ; not a comment", ""},
        {"count fails", "[driver]\ncount_status = 4\n", FT_IO_ERROR, kUntouched, kDefaultDescription, ""},
        {"misspelt key of a later device", "[device0]\n[device1]\nlatncy_ms = 5\n", FT_OTHER_ERROR, kUntouched, nullptr,
         "[device1] latncy_ms: unknown key"},
        {"device key in [driver]", "[driver]\ncount = 1\nlatency_ms = 5\n", FT_OTHER_ERROR, kUntouched, nullptr,
         "[driver] latency_ms: unknown key"},
        {"unknown section", "[devices]\n", FT_OTHER_ERROR, kUntouched, nullptr, "[devices]: unknown section"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        TraceFile trace;
        std::optional<ScenarioFile> scenario;
        if (test.pszScenario != nullptr)
            scenario.emplace(test.pszScenario);
        CSimLibrary lib;
        DWORD dwCount = kUntouched;
        EXPECT_EQ(lib.ListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY), test.nCountStatus);
        EXPECT_EQ(dwCount, test.dwCount);
        if (test.pszFirst != nullptr)
        {
            char szDescription[kListBufferSize] = {};
            EXPECT_EQ(lib.ListDevices(nullptr, szDescription, kListFlags), FT_OK);
            EXPECT_STREQ(szDescription, test.pszFirst);
        }
        const std::vector<std::string> loads = trace.Calls("SIM_Load");
        ASSERT_EQ(loads.size(), 1u) << Joined(trace.Lines());
        EXPECT_EQ(Contains(loads[0], " error="), *test.pszReason != '\0') << loads[0];
        EXPECT_TRUE(Contains(loads[0], test.pszReason)) << "expected \"" << test.pszReason << "\" in " << loads[0];
        if (*test.pszReason != '\0')
        {
            FT_HANDLE hDevice = nullptr;
            EXPECT_EQ(lib.OpenNamed(kDefaultDescription, &hDevice), FT_OTHER_ERROR);
        }
    }
}

TEST(Simulator, DevicesSharingADescriptionOrASerialNumberOpenInTurn)
{
    ScenarioFile scenario("; two instruments of one model, one of another, and one with the first one's serial number\n"
                          "[device0]\nserial = AAA1\n"
                          "[DEVICE1]\nSerial = AAA2\n"
                          "[device2]\ndescription = \"  Other Model  \"\nvid = 0x1234\npid = 4660\n"
                          "[device3]\ndescription = Twin\nserial = AAA1\n");
    CSimLibrary lib;
    const char* const serials[] = {"AAA1", "AAA2"};
    FT_HANDLE hDevices[2] = {};
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_EQ(lib.OpenNamed(kDefaultDescription, &hDevices[i]), FT_OK);
        EepromBuffers ee;
        EXPECT_EQ(lib.EeRead(hDevices[i], &ee.data), FT_OK);
        EXPECT_STREQ(ee.szSerial, serials[i]) << "open number " << i;
    }
    FT_HANDLE hThird = nullptr;
    EXPECT_EQ(lib.OpenNamed(kDefaultDescription, &hThird), FT_DEVICE_NOT_OPENED);

    char szDescription[kListBufferSize] = {};
    ASSERT_EQ(lib.ListDevices(reinterpret_cast<PVOID>(2), szDescription, kListFlags), FT_OK);
    EXPECT_STREQ(szDescription, "  Other Model  ");
    FT_HANDLE hOther = lib.OpenByIndex(2);
    FT_PROGRAM_DATA data = {};
    ASSERT_EQ(lib.EeRead(hOther, &data), FT_OK) << "null text pointers are skipped";
    EXPECT_EQ(data.VendorId, 0x1234);
    EXPECT_EQ(data.ProductId, 0x1234);
    for (FT_HANDLE hDevice : {hDevices[0], hDevices[1], hOther})
        EXPECT_EQ(lib.Close(hDevice), FT_OK);

    // Listed and opened by serial number: a device's own, and one that two
    // devices share opens them in turn.
    const char* const listedSerials[] = {"AAA1", "AAA2", "SIM00003", "AAA1"};
    for (UINT_PTR nIndex = 0; nIndex < 4; ++nIndex)
    {
        char szSerial[kListBufferSize] = {};
        EXPECT_EQ(
            lib.ListDevices(reinterpret_cast<PVOID>(nIndex), szSerial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
            FT_OK);
        EXPECT_STREQ(szSerial, listedSerials[nIndex]) << "device " << nIndex;
    }
    const struct
    {
        const char* pszSerial;
        FT_STATUS status;
        const char* pszDescription; // of the device opened
    } opens[] = {{"AAA2", FT_OK, kDefaultDescription},
                 {"AAA1", FT_OK, kDefaultDescription},
                 {"AAA1", FT_OK, "Twin"},
                 {"AAA1", FT_DEVICE_NOT_OPENED, nullptr},
                 {"AAA", FT_DEVICE_NOT_FOUND, nullptr}};
    std::vector<FT_HANDLE> opened;
    for (const auto& open : opens)
    {
        FT_HANDLE hDevice = nullptr;
        ASSERT_EQ(lib.OpenEx(const_cast<char*>(open.pszSerial), FT_OPEN_BY_SERIAL_NUMBER, &hDevice), open.status)
            << open.pszSerial;
        if (open.status != FT_OK)
            continue;
        opened.push_back(hDevice);
        EepromBuffers ee;
        EXPECT_EQ(lib.EeRead(hDevice, &ee.data), FT_OK);
        EXPECT_STREQ(ee.szSerial, open.pszSerial);
        EXPECT_STREQ(ee.szDescription, open.pszDescription);
    }
    for (FT_HANDLE hDevice : opened)
        EXPECT_EQ(lib.Close(hDevice), FT_OK);
}

TEST(Simulator, TextsFitTheCallersBuffersWithOrWithoutTerminator)
{
    const char kGuard = static_cast<char>(0xCC);
    const size_t kGuardSize = 16;
    const std::string longText = "Maker of Simulated Instruments and Probes"; // 41 bytes
    const struct
    {
        const char* pszKey;
        std::string value;
        size_t nSize;
        char* FT_PROGRAM_DATA::*pField; // null: the listing
    } texts[] = {
        // Longer than the listing buffer, and its section longer than a
        // first read of it takes.
        {"description", std::string(5000, 'D'), kListBufferSize, nullptr},
        {"manufacturer", longText, 32, &FT_PROGRAM_DATA::Manufacturer},
        {"manufacturer_id", "MK", 16, &FT_PROGRAM_DATA::ManufacturerId},
        {"ee_description", "Probe", 64, &FT_PROGRAM_DATA::Description},
        {"serial", longText, 16, &FT_PROGRAM_DATA::SerialNumber},
    };
    for (bool bUntrusted : {false, true})
    {
        SCOPED_TRACE(bUntrusted ? "untrusted" : "trusted");
        const std::string untrusted = bUntrusted ? "1\n" : "0\n";
        std::string scenario =
            "[device0]\nuntrusted_list_description = " + untrusted + "untrusted_eeprom_texts = " + untrusted;
        for (const auto& text : texts)
            scenario += std::string(text.pszKey) + " = " + text.value + "\n";
        ScenarioFile file(scenario);
        CSimLibrary lib;

        std::vector<std::vector<char>> buffers;
        for (const auto& text : texts)
            buffers.emplace_back(text.nSize + kGuardSize, kGuard);
        ASSERT_EQ(lib.ListDevices(nullptr, buffers[0].data(), kListFlags), FT_OK);
        // A caller that terminates an unterminated listing by cutting its
        // last byte still names the device, and so does the full text.
        std::vector<char> listed(buffers[0].begin(), buffers[0].begin() + kListBufferSize);
        listed.back() = '\0';
        FT_HANDLE hDevice = nullptr, hAgain = nullptr;
        ASSERT_EQ(lib.OpenNamed(listed.data(), &hDevice), FT_OK);
        EXPECT_EQ(lib.OpenNamed(texts[0].value.c_str(), &hAgain), FT_DEVICE_NOT_OPENED)
            << "the full description names the open device";
        FT_PROGRAM_DATA data = {};
        for (size_t i = 1; i < std::size(texts); ++i)
            data.*texts[i].pField = buffers[i].data();
        ASSERT_EQ(lib.EeRead(hDevice, &data), FT_OK);

        for (size_t i = 0; i < std::size(texts); ++i)
        {
            const auto& text = texts[i];
            const size_t nCopied = std::min(text.value.size(), text.nSize - 1);
            for (size_t n = 0; n < buffers[i].size(); ++n)
            {
                char chExpected = kGuard;
                if (bUntrusted && n < text.nSize)
                    chExpected = text.value[n % text.value.size()];
                else if (!bUntrusted && n <= nCopied)
                    chExpected = n < nCopied ? text.value[n] : '\0';
                ASSERT_EQ(buffers[i][n], chExpected) << text.pszKey << " byte " << n;
            }
        }
        EXPECT_EQ(lib.Close(hDevice), FT_OK);
    }
}

TEST(Simulator, ReadOverReportsWithoutWritingPastTheBuffer)
{
    const char kGuard = static_cast<char>(0xCC);
    ScenarioFile scenario("[device0]\nread_overreport = 5\nmanufacturer = Maker\nserial = S123\n");
    CSimLibrary lib;
    FT_HANDLE hDevice = lib.OpenByIndex(0);
    CEvent event;
    lib.Request(hDevice, event);
    ASSERT_TRUE(event.Wait());
    std::string received(26, kGuard);
    DWORD dwReturned = 0;
    ASSERT_EQ(lib.Read(hDevice, &received[0], 10, &dwReturned), FT_OK);
    EXPECT_EQ(dwReturned, 15u) << "asked 10, over-report 5";
    // The default answer follows the scenario's manufacturer and serial.
    EXPECT_EQ(received, "Maker,USB-" + std::string(16, kGuard));
    EXPECT_EQ(lib.Close(hDevice), FT_OK);
}

TEST(Simulator, OnlyTheExactRequestIsAnsweredAndCloseStopsAPendingDelivery)
{
    // The default answer has 46 bytes: in 3 chunks, 16 come first. Bytes
    // written before the request must not be answered: one answer comes back.
    const DWORD kWhole = static_cast<DWORD>(strlen(kDefaultAnswer));
    const struct
    {
        const char* pszName;
        std::string keys;                   // "": no scenario
        std::optional<std::string> written; // before the request
        unsigned nSignalsBeforeClose;
        DWORD dwQueuedBeforeClose;
        const char* pszCancelled;
    } cases[] = {
        {"without line end", "", std::string("*IDN?;", 6), 1, kWhole, "0"},
        {"with a zero behind", "", std::string("*IDN?;\n\0", 8), 1, kWhole, "0"},
        {"lower case", "", "*idn?;\n", 1, kWhole, "0"},
        {"without semicolon", "", "*IDN?\n\n", 1, kWhole, "0"},
        {"nothing", "", "", 1, kWhole, "0"},
        {"before the first chunk", std::string("latency_ms = ") + kNeverMs + "\n", std::nullopt, 0, 0, "1"},
        {"between chunks", std::string("latency_ms = 0\nchunks = 3\nchunk_gap_ms = ") + kNeverMs + "\n", std::nullopt,
         1, 16, "1"},
        {"silent device, nothing pending", "silent = 1\n", std::nullopt, 0, 0, "0"},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.pszName);
        TraceFile trace;
        std::optional<ScenarioFile> scenario;
        if (!test.keys.empty())
            scenario.emplace("[device0]\n" + test.keys);
        {
            CSimLibrary lib;
            FT_HANDLE hDevice = lib.OpenByIndex(0);
            CEvent event;
            if (test.written)
            {
                DWORD dwWritten = 0;
                const DWORD dwSize = static_cast<DWORD>(test.written->size());
                ASSERT_EQ(lib.SetEventNotification(hDevice, FT_EVENT_RXCHAR, event.m_hEvent), FT_OK);
                EXPECT_EQ(lib.Write(hDevice, const_cast<char*>(test.written->data()), dwSize, &dwWritten), FT_OK);
                EXPECT_EQ(dwWritten, dwSize);
            }
            lib.Request(hDevice, event);
            for (unsigned n = 0; n < test.nSignalsBeforeClose; ++n)
                ASSERT_TRUE(event.Wait());
            DWORD dwQueued = 0;
            EXPECT_EQ(lib.GetQueueStatus(hDevice, &dwQueued), FT_OK);
            EXPECT_EQ(dwQueued, test.dwQueuedBeforeClose) << "the first chunk must be signalled on its own";
            if (dwQueued == kWhole)
            {
                EXPECT_EQ(lib.ReadAll(hDevice), kDefaultAnswer);
            }

            // Closed from another thread, so a close that waited for the
            // delivery fails here instead of hanging the test.
            FT_STATUS status = FT_OTHER_ERROR;
            CCallThread close([&] { status = lib.Close(hDevice); });
            ASSERT_NE(close.m_hThread, nullptr);
            ASSERT_TRUE(close.Ended()) << "FT_Close did not return";
            EXPECT_EQ(status, FT_OK);
            EXPECT_FALSE(event.Wait(0)) << "signalled during or after the close";
        }
        // A delivery thread left running would keep the library loaded.
        EXPECT_EQ(GetModuleHandleA(kLibraryFile), nullptr) << "library still loaded after FreeLibrary";

        EXPECT_EQ(trace.Calls("SIM_Signal").size(), test.nSignalsBeforeClose);
        const std::vector<std::string> closes = trace.Calls("FT_Close");
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(TraceValue(closes[0], "cancelled"), test.pszCancelled) << closes[0];
    }
}

TEST(Simulator, TraceRecordsEveryCallInOrder)
{
    TraceFile trace;
    {
        CSimLibrary lib;
        DWORD dwCount = 0;
        ASSERT_EQ(lib.ListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        FT_HANDLE hDevice = lib.OpenByIndex(0);
        FT_PROGRAM_DATA data = {};
        EXPECT_EQ(lib.EeRead(hDevice, &data), FT_OK);
        CEvent event;
        lib.Request(hDevice, event);
        ASSERT_TRUE(event.Wait());
        lib.ReadAll(hDevice);
        EXPECT_EQ(lib.Close(hDevice), FT_OK);
    }
    const std::vector<std::string> lines = trace.Lines();
    const char* const order[] = {"SIM_Load",
                                 "FT_ListDevices count=1 ",
                                 "FT_ListDevices index=0 ",
                                 "FT_OpenEx",
                                 "FT_EE_Read",
                                 "FT_SetEventNotification",
                                 "FT_Write",
                                 "SIM_Signal",
                                 "FT_GetQueueStatus",
                                 "FT_Read",
                                 "FT_Close",
                                 "SIM_Unload"};
    ASSERT_EQ(lines.size(), std::size(order));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].compare(0, strlen(order[i]), order[i]), 0) << "line " << i << ": " << lines[i];
    EXPECT_EQ(lines[6], "FT_Write dev=0 n=7 hex=2A49444E3F3B0A status=0");
    EXPECT_EQ(TraceValue(lines[9], "hex"), "53696D756C6174656420496E737472756D656E74732C5553422D53494D20312C53494D"
                                           "30303030312C312E300D0A")
        << lines[9];
}

TEST(Simulator, RepeatedLoadsGiveBackTheirTlsIndexesAndHandles)
{
    // The product loads the library once per check run; a process runs out
    // of TLS indexes after about a thousand loads that each keep one, and its
    // handle count would grow with every run.
    const int kLoads = 50;
    {
        CSimLibrary warmUp;
    }
    DWORD dwBefore = TlsAlloc();
    TlsFree(dwBefore);
    const long nLeft = HandlesLeftBy(
        [] {
            CSimLibrary lib;
            DWORD dwCount = 0;
            EXPECT_EQ(lib.ListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        },
        kLoads);
    DWORD dwAfter = TlsAlloc();
    TlsFree(dwAfter);
    EXPECT_EQ(dwAfter, dwBefore) << "the lowest free TLS index moved after " << kLoads << " loads";
    EXPECT_EQ(nLeft, 0) << "handles left by " << kLoads << " loads";
}

TEST(Simulator, AHeldDeviceOpensOnlyOnceItsEventIsSet)
{
    DeviceHold hold;
    TraceFile trace;
    ScenarioFile scenario("[device0]\nhold_event = " + hold.Name() + "\n");
    CSimLibrary lib;
    FT_HANDLE hDevice = nullptr;
    FT_STATUS status = FT_OTHER_ERROR;
    CCallThread open([&] { status = lib.OpenNamed(kDefaultDescription, &hDevice); });
    ASSERT_NE(open.m_hThread, nullptr);
    PollUntil(GetTickCount() + kWaitMs, [&] { return !trace.Calls("SIM_Hold").empty(); });
    ASSERT_EQ(trace.Calls("SIM_Hold").size(), 1u) << "the open did not reach the hold";
    EXPECT_FALSE(open.Ended(0)) << "the open went on while held";
    EXPECT_TRUE(trace.Calls("FT_OpenEx").empty());

    hold.Release();
    ASSERT_TRUE(open.Ended());
    EXPECT_EQ(status, FT_OK);
    const std::vector<std::string> releases = trace.Calls("SIM_Release");
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(TraceValue(releases[0], "set"), "1") << releases[0];
    EXPECT_EQ(lib.Close(hDevice), FT_OK);
}

TEST(Simulator, ExampleScenarioDescribesTwoAnsweringDevices)
{
    TraceFile trace;
    ScenarioFile example(ReadFileBytes(SimulatorLibrary("scenario-example.ini")));
    CSimLibrary lib;
    DWORD dwCount = 0;
    ASSERT_EQ(lib.ListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY), FT_OK) << Joined(trace.Calls("SIM_Load"));
    ASSERT_EQ(dwCount, 2u);
    for (DWORD nIndex = 0; nIndex < dwCount; ++nIndex)
    {
        SCOPED_TRACE("device " + std::to_string(nIndex));
        const std::string expected =
            "Simulated Instruments,USB-SIM 1,SIM0000" + std::to_string(nIndex + 1) + ",1.0\r\n";
        FT_HANDLE hDevice = lib.OpenByIndex(nIndex);
        CEvent event;
        lib.Request(hDevice, event);
        std::string answer;
        while (answer.size() < expected.size())
        {
            ASSERT_TRUE(event.Wait()) << "received so far: " << answer;
            answer += lib.ReadAll(hDevice);
        }
        EXPECT_EQ(answer, expected);
        EXPECT_EQ(lib.Close(hDevice), FT_OK);
    }
}
} // namespace
