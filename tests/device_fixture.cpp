#include "device_fixture.h"

#include <cstdio>
#include <fstream>

const char kFakeResponseTime[] = "12.35";
const char kTestAnswer[] = "TEST,MODEL 1,TI000001,2.5";

namespace
{
const LONGLONG kFakeFrequency = 10000000;
const LONGLONG kFakeStep = 123440; // 12.344 ms at 10 MHz

LONGLONG g_llFakeCounter = 0;
LONGLONG g_llFakeStep = kFakeStep;
int g_nReadings = 0;

BOOL WINAPI FakeFrequency(LARGE_INTEGER* pFrequency)
{
    pFrequency->QuadPart = kFakeFrequency;
    return TRUE;
}

BOOL WINAPI FakeCounterReading(LARGE_INTEGER* pCounter)
{
    ++g_nReadings;
    g_llFakeCounter += g_llFakeStep;
    pCounter->QuadPart = g_llFakeCounter;
    return TRUE;
}
} // namespace

std::string SimulatorLibrary(const char* pszFile)
{
    return SimulatorDir() + "\\" + pszFile;
}

ScenarioFile::ScenarioFile(const std::string& text, const std::string& name) : m_path(TempDirectory() + "\\" + name)
{
    WriteFileBytes(m_path, text);
    SetEnv("USBSIM_SCENARIO", m_path);
}

ScenarioFile::~ScenarioFile()
{
    SetEnv("USBSIM_SCENARIO", "");
    DeleteFileIfAny(m_path);
}

TraceFile::TraceFile()
{
    static int s_nTrace = 0;
    m_path = TempDirectory() + "\\trace-" + std::to_string(++s_nTrace) + ".txt";
    DeleteFileIfAny(m_path);
    SetEnv("USBSIM_TRACE", m_path);
}

TraceFile::~TraceFile()
{
    SetEnv("USBSIM_TRACE", "");
    DeleteFileIfAny(m_path);
}

std::vector<std::string> TraceFile::Lines() const
{
    std::vector<std::string> lines;
    std::ifstream file(m_path);
    std::string line;
    while (std::getline(file, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> TraceFile::Calls(const std::string& call) const
{
    std::vector<std::string> calls;
    for (const std::string& line : Lines())
    {
        if (line.compare(0, call.size() + 1, call + " ") == 0)
            calls.push_back(line);
    }
    return calls;
}

FakeCounter::FakeCounter(bool bStill)
    : m_frequency(g_SystemCalls.QueryPerformanceFrequency, FakeFrequency),
      m_counter(g_SystemCalls.QueryPerformanceCounter, FakeCounterReading)
{
    g_llFakeCounter = 0;
    g_llFakeStep = bStill ? 0 : kFakeStep;
    g_nReadings = 0;
}

FakeCounter::~FakeCounter() = default;

int FakeCounter::Readings()
{
    return g_nReadings;
}

DeviceLines& DeviceLines::Heading(const std::string& text)
{
    m_text += "\n" + text + "\n";
    return *this;
}

DeviceLines& DeviceLines::Detail(const std::string& text)
{
    if (m_bDetailed)
        m_text += "\t" + text + "\n";
    return *this;
}

DeviceLines& DeviceLines::Alert(const std::string& text)
{
    return Detail(text);
}

DeviceLines& DeviceLines::Ok()
{
    m_text += "... Result:   OK\n";
    return *this;
}

DeviceLines& DeviceLines::Warning()
{
    m_text += "... Result:   Warning\n";
    return *this;
}

DeviceLines& DeviceLines::ErrorWord()
{
    m_text += "... Result:   Error\n";
    return *this;
}

DeviceLines& DeviceLines::ErrorText(const std::string& text)
{
    m_text += "Error:   " + text + "\n";
    return *this;
}

DeviceLines& DeviceLines::Error(DWORD dwCode)
{
    char szCode[64];
    std::snprintf(szCode, sizeof(szCode), "0x%08X (%u)\n\t", static_cast<unsigned>(dwCode),
                  static_cast<unsigned>(dwCode));
    return ErrorWord().ErrorText(szCode + ReportedSystemText(dwCode));
}

DeviceLines& DeviceLines::Text(const std::string& text)
{
    m_text += text + "\n";
    return *this;
}

DeviceLines::Device DeviceLines::Device::Of(int nIndex, const std::string& description)
{
    Device device;
    device.description = description;
    device.eeDescription = description;
    device.identity = "Vid_0403&Pid_B7E4#TI00000" + std::to_string(nIndex + 1);
    return device;
}

DeviceLines& DeviceLines::UpToTheWait(const Device& device)
{
    Heading("Check communication with device:   " + device.description);
    Detail("Open the connection.").Detail("... successfull");
    Detail("Read EEPROM data").Detail("... successfull");
    Detail("Device connected:   " + device.identity);
    Detail("Description:   " + device.eeDescription);
    Detail("Manufacturer:   " + device.manufacturer);
    Detail("Set the event notification").Detail("... successfull");
    Detail("Wait for SCPI response");
    Detail("Send SCPI request:   *IDN?;");
    Detail("... successfull");
    return Detail("Wait for SCPI response");
}

DeviceLines& DeviceLines::Answered(unsigned nQueued, unsigned nCopied, const std::string& response,
                                   const std::string& responseTime)
{
    Detail("... first characters received");
    Detail(std::to_string(nQueued) + " bytes received by the device driver");
    Detail(std::to_string(nCopied) + " bytes copied into the receive buffer");
    Detail("SCPI response:   " + response);
    Detail("Response time:   " + responseTime + " ms");
    Detail("The connection is closed.");
    return Ok();
}

std::string MaskResponseTimes(const std::string& report)
{
    const std::string label = "Response time:   ";
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
