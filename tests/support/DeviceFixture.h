// What the driver and communication tests and the device benchmark share: the
// simulated driver's scenario and trace files, a performance counter that
// makes response times exact, and the test's devices.
#pragma once

#include "device/Communication.h"
#include "device/DriverLibrary.h"
#include "framework/SystemCalls.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/RecordingWriter.h"

#include <atomic>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// The variant of the simulated driver library that lacks an entry point, and
// the simulated library's file version.
const char kNoListDevices[] = "sim_no_listdevices.dll";
const char kSimulatorVersion[] = "2.12.36.4";

// The counter of the response-time measurement, made exact: each reading
// llSpan counts after the one before, at llFrequency counts a second. By
// default 123,440 counts at 10 MHz, so that every measured span is 12.344 ms
// ("12.35" in the report). The pause before an answer is read moves the
// counter on by its milliseconds, so that a response time that takes in the
// pause shows it, and then pauses as the seam did before the counter came.
class FakeCounter
{
public:
    explicit FakeCounter(LONGLONG llSpan = 123440, LONGLONG llFrequency = 10000000);

    static int Readings();
    // Each pause so far, as "<ms> ms after reading <n>; ".
    static std::string Pauses();

private:
    SystemCallOverride<decltype(SystemCalls::QueryPerformanceFrequency)> m_frequency;
    SystemCallOverride<decltype(SystemCalls::QueryPerformanceCounter)> m_counter;
    SystemCallOverride<decltype(SystemCalls::Sleep)> m_pause;
};
extern const char kFakeResponseTime[]; // "12.35"

// The device that ScenarioDevice(nIndex, description) describes, as the
// report names it.
ExpectedReport::Device TestDevice(int nIndex, const std::string& description);

// The report with the value of every "Response time:   <value> ms" line
// replaced by "#", for runs whose time is real.
std::string MaskResponseTimes(const std::string& report);

// The scenario section [deviceN] of a device with its own description, a
// serial number of its index and the maker "Test Maker", answering
// kTestAnswer and CR LF at once; extra lines follow the defaults and
// override them.
std::string ScenarioDevice(int nIndex, const std::string& description, const std::string& extra = std::string());
extern const char kTestAnswer[]; // "TEST,MODEL 1,TI000001,2.5"

// The driver with one device, kOneDevice, and its extra scenario lines.
extern const ExpectedReport::Device kOneDevice;
std::string OneDevice(const std::string& extra = std::string());

// The driver with nCount of the simulator's own instruments, all of one model
// and none answering; the first one's section takes the extra lines.
std::string SilentInstruments(int nCount, const std::string& firstExtra = std::string());

// The driver with "Instrument One", "Instrument Two" and so on, each with its
// extra lines, and the report's name of one of them.
std::string Instruments(std::initializer_list<std::string> extras);
ExpectedReport::Device Instrument(int nIndex);

// What the trace shows of devices not given back once each: the opens that
// brought a device (status 0) and that no close gave back, and the closes
// that gave back no open device (one that never opened, or twice), as the
// trace has them; empty when every open has its one close.
std::string UnpairedOpensAndCloses(const TraceFile& trace);

// The driver binding, the device search and the communication test with the
// test's own state, as a check run holds it: the library and its entry
// points, the cancel event and flag, and the device test. Each writes to
// writer, which shows what it was sent in the view chosen.
class DeviceRun : NonCopyable
{
public:
    DeviceRun();
    ~DeviceRun();

    CheckResult LoadDriverLibrary(LPCSTR pszName);
    CheckResult FreeDriverLibrary() { return ::FreeDriverLibrary(writer, hDriverLib); }
    // Made at its first use after a load or a reset, on the entry points as
    // they are then, writing to pReport or else to writer.
    CDeviceCommunication& Devices(CReportWriter* pReport = nullptr);
    CheckResult SearchDevices() { return Devices().SearchDevices(); }
    CheckResult CheckCommunication() { return Devices().CheckCommunication(); }
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response)
    {
        return Devices().ReceiveResponse(hDevice, response);
    }

    void SetDetailed(bool bDetailedIn) { bDetailed = bDetailedIn; }
    void ClearReport() { writer.Clear(); }
    std::string ReportText() const { return writer.Text(bDetailed); }

    RecordingWriter writer;
    bool bDetailed = true;
    HMODULE hDriverLib = nullptr;
    DRIVER_ENTRY_POINTS entryPoints = {};
    HANDLE hCancelEvent;
    std::atomic<BOOL> bCancel{FALSE};
    std::shared_ptr<CDriverCallWatch> pWatch = std::make_shared<CDriverCallWatch>();
    std::unique_ptr<CDeviceCommunication> pDevices;
};
