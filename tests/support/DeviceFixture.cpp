#include "support/DeviceFixture.h"

#include <algorithm>

const char kFakeResponseTime[] = "12.35";
const char kTestAnswer[] = "TEST,MODEL 1,TI000001,2.5";

namespace
{
LONGLONG g_llFakeFrequency = 0;
LONGLONG g_llFakeCounter = 0;
LONGLONG g_llFakeSpan = 0;
int g_nReadings = 0;

BOOL WINAPI FakeFrequency(LARGE_INTEGER* pFrequency)
{
    pFrequency->QuadPart = g_llFakeFrequency;
    return TRUE;
}

BOOL WINAPI FakeCounterReading(LARGE_INTEGER* pCounter)
{
    ++g_nReadings;
    g_llFakeCounter += g_llFakeSpan;
    pCounter->QuadPart = g_llFakeCounter;
    return TRUE;
}

decltype(SystemCalls::Sleep) g_pfnPauseBefore = nullptr;
std::string g_pauses;

VOID WINAPI FakePause(DWORD dwMilliseconds)
{
    g_pauses += std::to_string(dwMilliseconds) + " ms after reading " + std::to_string(g_nReadings) + "; ";
    g_llFakeCounter += g_llFakeFrequency * dwMilliseconds / 1000;
    g_pfnPauseBefore(dwMilliseconds);
}

// FakePause, which then pauses as pfnBefore does.
decltype(SystemCalls::Sleep) FakePauseThen(decltype(SystemCalls::Sleep) pfnBefore)
{
    g_pfnPauseBefore = pfnBefore;
    return FakePause;
}
} // namespace

FakeCounter::FakeCounter(LONGLONG llSpan, LONGLONG llFrequency)
    : m_frequency(g_SystemCalls.QueryPerformanceFrequency, FakeFrequency),
      m_counter(g_SystemCalls.QueryPerformanceCounter, FakeCounterReading),
      m_pause(g_SystemCalls.Sleep, FakePauseThen(g_SystemCalls.Sleep))
{
    g_llFakeFrequency = llFrequency;
    g_llFakeCounter = 0;
    g_llFakeSpan = llSpan;
    g_nReadings = 0;
    g_pauses.clear();
}

int FakeCounter::Readings()
{
    return g_nReadings;
}

std::string FakeCounter::Pauses()
{
    return g_pauses;
}

ExpectedReport::Device TestDevice(int nIndex, const std::string& description)
{
    return {description, "Vid_0403&Pid_B7E4#TI00000" + std::to_string(nIndex + 1), description, "Test Maker"};
}

std::string MaskResponseTimes(const std::string& report)
{
    const std::string label = Text::kResponseTime;
    std::string masked = report;
    for (size_t nAt = masked.find(label); nAt != std::string::npos; nAt = masked.find(label, nAt + 1))
    {
        const size_t nValue = nAt + label.size();
        const size_t nEnd = masked.find(" ms\n", nValue);
        if (nEnd == std::string::npos)
            break;
        masked.replace(nValue, nEnd - nValue, "#");
    }
    return masked;
}

std::string ScenarioDevice(int nIndex, const std::string& description, const std::string& extra)
{
    const std::string serial = "TI00000" + std::to_string(nIndex + 1);
    return "[device" + std::to_string(nIndex) + "]\n" + "description = \"" + description + "\"\n" +
           "vid = 0x0403\npid = 0xB7E4\nserial = " + serial + "\nmanufacturer = Test Maker\n" +
           "answer = " + kTestAnswer + "\\r\\n\nlatency_ms = 0\n" + extra;
}

const ExpectedReport::Device kOneDevice = TestDevice(0, "Test Instrument A");

std::string OneDevice(const std::string& extra)
{
    return "[driver]\ncount = 1\n" + ScenarioDevice(0, kOneDevice.description, extra);
}

std::string SilentInstruments(int nCount, const std::string& firstExtra)
{
    std::string scenario = "[driver]\ncount = " + std::to_string(nCount) + "\n";
    for (int nIndex = 0; nIndex < nCount; ++nIndex)
        scenario += "[device" + std::to_string(nIndex) + "]\nsilent = 1\n" + (nIndex == 0 ? firstExtra : "");
    return scenario;
}

namespace
{
const char* const kInstruments[] = {"Instrument One", "Instrument Two", "Instrument Three"};
}

std::string Instruments(std::initializer_list<std::string> extras)
{
    std::string scenario = "[driver]\ncount = " + std::to_string(extras.size()) + "\n";
    int nIndex = 0;
    for (const std::string& extra : extras)
    {
        scenario += ScenarioDevice(nIndex, kInstruments[nIndex], extra);
        ++nIndex;
    }
    return scenario;
}

ExpectedReport::Device Instrument(int nIndex)
{
    return TestDevice(nIndex, kInstruments[nIndex]);
}

std::string UnpairedOpensAndCloses(const TraceFile& trace)
{
    std::vector<std::string> open;
    std::vector<std::string> unpaired;
    for (const std::string& line : trace.Lines())
    {
        if (line.rfind("FT_OpenEx ", 0) == 0 && TraceValue(line, "status") == "0")
            open.push_back(line);
        if (line.rfind("FT_Close ", 0) != 0)
            continue;
        const auto opened = std::find_if(open.begin(), open.end(), [&](const std::string& opened) {
            return TraceValue(opened, "handle") == TraceValue(line, "handle");
        });
        if (opened == open.end())
        {
            unpaired.push_back("closed, not open: " + line);
            continue;
        }
        open.erase(opened);
    }
    for (const std::string& line : open)
        unpaired.push_back("left open: " + line);
    return Joined(unpaired);
}

DeviceRun::DeviceRun() : hCancelEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

DeviceRun::~DeviceRun()
{
    if (hDriverLib != nullptr)
        ::FreeLibrary(hDriverLib);
    ::CloseHandle(hCancelEvent);
}

CheckResult DeviceRun::LoadDriverLibrary(LPCSTR pszName)
{
    pDevices.reset();
    return ::LoadDriverLibrary(writer, pszName, hDriverLib, entryPoints);
}

CDeviceCommunication& DeviceRun::Devices(CReportWriter* pReport)
{
    if (!pDevices)
        pDevices.reset(new CDeviceCommunication(pReport != nullptr ? *pReport : writer,
                                                WATCHED_ENTRY_POINTS(entryPoints, pWatch), hCancelEvent, bCancel));
    return *pDevices;
}
