// What the driver and communication tests and the device benchmark share: the
// simulated driver's scenario and trace files, a performance counter that
// makes response times exact, and the expected report lines of a device.
#pragma once

#include "framework/SystemCalls.h"
#include "support/Fixtures.h"

#include <string>
#include <vector>

// The simulated driver library, or one of its variants lacking an entry point.
std::string SimulatorLibrary(const char* pszFile = "KT480_D2XX.DLL");
const char kNoListDevices[] = "sim_no_listdevices.dll";
const char kNoEventNotification[] = "sim_no_eventnotification.dll";

// Writes the scenario text into the test's folder and names it in
// USBSIM_SCENARIO for the next load of the library; clears it again at the end.
class ScenarioFile
{
public:
    explicit ScenarioFile(const std::string& text, const std::string& name = "device-scenario.ini");
    ~ScenarioFile();
    ScenarioFile(const ScenarioFile&) = delete;
    ScenarioFile& operator=(const ScenarioFile&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The simulator's call trace of the libraries loaded while it lives.
class TraceFile
{
public:
    TraceFile();
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    std::vector<std::string> Lines() const;
    // The lines that start with the call's name, e.g. "FT_Write".
    std::vector<std::string> Calls(const std::string& call) const;

private:
    std::string m_path;
};

// The counter of the response-time measurement, made exact: 10 MHz, and each
// reading 123,440 counts after the one before, so every measured span is
// 12.344 ms ("12.35" in the report); with bStill every span is 0 ("0.01").
class FakeCounter
{
public:
    explicit FakeCounter(bool bStill = false);
    ~FakeCounter();
    FakeCounter(const FakeCounter&) = delete;
    FakeCounter& operator=(const FakeCounter&) = delete;

    static int Readings();

private:
    SystemCallOverride<decltype(SystemCalls::QueryPerformanceFrequency)> m_frequency;
    SystemCallOverride<decltype(SystemCalls::QueryPerformanceCounter)> m_counter;
};
extern const char kFakeResponseTime[]; // "12.35"

// Report lines as WriteLog renders them: prefix, text, line feed; the detail
// kinds only for the detailed view.
class DeviceLines
{
public:
    explicit DeviceLines(bool bDetailed) : m_bDetailed(bDetailed) {}

    DeviceLines& Heading(const std::string& text);
    DeviceLines& Detail(const std::string& text);
    DeviceLines& Alert(const std::string& text);
    DeviceLines& Ok();
    DeviceLines& Warning();
    // "Error" as a result line without a system text.
    DeviceLines& ErrorWord();
    // A bold error entry: "Error:   " and the text.
    DeviceLines& ErrorText(const std::string& text);
    // WriteResult of {code, "Error", LOG_RESULT_ERROR}: the result line and
    // the system's text for the code, as FormatMessageA gives it.
    DeviceLines& Error(DWORD dwCode);
    DeviceLines& Text(const std::string& text);

    // The lines of one device's test, from its heading to its result.
    struct Device
    {
        std::string description = "Test Instrument A";
        std::string identity = "Vid_0403&Pid_B7E4#TI000001";
        std::string eeDescription = "Test Instrument A";
        std::string manufacturer = "Test Maker";

        // The device that ScenarioDevice(nIndex, description) describes.
        static Device Of(int nIndex, const std::string& description);
    };
    // Heading to "Wait for SCPI response" after the send, all steps passed.
    DeviceLines& UpToTheWait(const Device& device);
    // Everything after the wait for an answer of nBytes read whole.
    DeviceLines& Answered(unsigned nQueued, unsigned nCopied, const std::string& response,
                          const std::string& responseTime = kFakeResponseTime);

    const std::string& Str() const { return m_text; }

private:
    bool m_bDetailed;
    std::string m_text;
};

// The report with the value of every "Response time:   <value> ms" line
// replaced by "#", for runs whose time is real.
std::string MaskResponseTimes(const std::string& report);

// The scenario section [deviceN] of a device with its own description and the
// identity of DeviceLines::Device, answering kTestAnswer and CR LF at once;
// extra lines follow the defaults and override them.
std::string ScenarioDevice(int nIndex, const std::string& description, const std::string& extra = std::string());
extern const char kTestAnswer[]; // "TEST,MODEL 1,TI000001,2.5"
