// The device search and the communication test against the simulated driver,
// with the test's own state and a recording writer: the exact lines of every
// outcome, the result of one and of several devices, the request bytes each
// device is sent, driver data that cannot be trusted, the receive event
// between devices, a cancel during the wait, the device closed after a call
// that was given up on, and handles over repeated failures. Response times
// are made exact through the counter seam where a case compares whole
// sections.
#include "checks/CheckRun.h"
#include "support/DeviceFixture.h"
#include "res/resource.h"
#include "support/HandleCount.h"
#include "support/SeamFaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace
{
const char kSuccess[] = "The operation completed successfully.";

// A text repeated to fill n bytes, as a driver fills a buffer it does not end.
std::string Filled(const std::string& pattern, size_t n)
{
    std::string text;
    while (text.size() < n)
        text += pattern[text.size() % pattern.size()];
    return text;
}

// ---- Seam and slot fakes

// What the hooks below are told to do, and what they saw.
struct HookState
{
    // The wait for an answer (HookedWait).
    int nWaits = 0;
    DWORD dwWaitTimeouts[8] = {}; // what each wait was given, in call order
    DWORD dwWaitResults[8] = {};  // what the real waits returned, in call order
    int nFailingWait = 0;         // the wait call (from 1) that fails; 0: none
    DWORD dwWaitResult = WAIT_FAILED;
    DWORD dwWaitError = 0;
    HANDLE hWaitEntered = nullptr;
    bool bCancelWithTheAnswer = false;
    HANDLE hCancelEvent = nullptr;
    HANDLE hLastCancelEvent = nullptr; // the cancel event of the last wait
    // The driver's queue and read (ScriptedQueueStatus, ScriptedRead).
    PFN_FT_Read pfnRealReadOrWrite = nullptr; // for ThenAwaitSignals
    size_t nSignals = 0;
    DWORD dwQueued = 0;
    std::string readData; // what the read writes
    DWORD dwReadReported = 0;
    DWORD dwReadAsked = 0;
    // The counter (RecordingCounter).
    LONGLONG llCounterReadings[8] = {};
    int nCounterReadings = 0;
    // The simulator's trace of an answer's signals (PauseForPieces, ThenAwaitSignals).
    const TraceFile* pPieceTrace = nullptr;
    // A call given up from inside (OpenGivenUp, WriteGivenUp, CloseGivenUp).
    DRIVER_ENTRY_POINTS realCalls = {};
    CDriverCallWatch* pWatch = nullptr;
    std::string givenUpCall; // the call to give up
    std::string givenUp;     // what the give-up named; "nothing" when it named none
    LONG nOutAtClose = -1;   // GivenUpCallsOut() in the last close
};
HookState g_hooks;

DWORD WINAPI HookedWait(DWORD nCount, const HANDLE* pHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    if (++g_hooks.nWaits <= 8)
        g_hooks.dwWaitTimeouts[g_hooks.nWaits - 1] = dwMilliseconds;
    if (g_hooks.nWaits == g_hooks.nFailingWait)
    {
        ::SetLastError(g_hooks.dwWaitError);
        return g_hooks.dwWaitResult;
    }
    g_hooks.hLastCancelEvent = pHandles[0];
    if (g_hooks.hWaitEntered != nullptr)
        ::SetEvent(g_hooks.hWaitEntered);
    if (g_hooks.bCancelWithTheAnswer)
    {
        // Both signalled when the wait begins: the answer's (given back,
        // should waiting for it here have taken it) and the dialog's cancel.
        if (::WaitForSingleObject(pHandles[1], 5000) == WAIT_OBJECT_0)
            ::SetEvent(pHandles[1]);
        ::SetEvent(g_hooks.hCancelEvent);
    }
    const DWORD dwResult = ::WaitForMultipleObjects(nCount, pHandles, bWaitAll, dwMilliseconds);
    if (g_hooks.nWaits <= 8)
        g_hooks.dwWaitResults[g_hooks.nWaits - 1] = dwResult;
    return dwResult;
}

// Hooks the wait for one test: counts the calls, fails one of them if asked,
// and tells when one has begun.
class WaitHook
{
public:
    explicit WaitHook(int nFailingWait = 0, DWORD dwResult = WAIT_FAILED, DWORD dwError = 0)
        : m_override(g_SystemCalls.WaitForMultipleObjects, HookedWait)
    {
        g_hooks.nWaits = 0;
        g_hooks.nFailingWait = nFailingWait;
        g_hooks.dwWaitResult = dwResult;
        g_hooks.dwWaitError = dwError;
        g_hooks.hWaitEntered = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g_hooks.bCancelWithTheAnswer = false;
    }
    ~WaitHook()
    {
        // The cancel stays signalled until it is reset.
        if (g_hooks.bCancelWithTheAnswer)
            ::ResetEvent(g_hooks.hCancelEvent);
        g_hooks.bCancelWithTheAnswer = false;
        ::CloseHandle(g_hooks.hWaitEntered);
        g_hooks.hWaitEntered = nullptr;
    }
    WaitHook(const WaitHook&) = delete;
    WaitHook& operator=(const WaitHook&) = delete;

    static bool Entered() { return ::WaitForSingleObject(g_hooks.hWaitEntered, 0) == WAIT_OBJECT_0; }
    static int Calls() { return g_hooks.nWaits; }
    static void CancelWithTheAnswer(HANDLE hCancelEvent)
    {
        g_hooks.hCancelEvent = hCancelEvent;
        g_hooks.bCancelWithTheAnswer = true;
    }
    static DWORD Result(int nCall) { return g_hooks.dwWaitResults[nCall - 1]; }
    static DWORD Timeout(int nCall) { return g_hooks.dwWaitTimeouts[nCall - 1]; }

private:
    SystemCallOverride<decltype(SystemCalls::WaitForMultipleObjects)> m_override;
};

// A driver whose read writes readData and reports dwReadReported bytes.
FT_STATUS WINAPI ScriptedQueueStatus(FT_HANDLE, DWORD* pdwRxBytes)
{
    *pdwRxBytes = g_hooks.dwQueued;
    return FT_OK;
}

FT_STATUS WINAPI ScriptedRead(FT_HANDLE, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned)
{
    g_hooks.dwReadAsked = dwToRead;
    g_hooks.readData.copy(static_cast<char*>(pBuffer), std::min<size_t>(g_hooks.readData.size(), dwToRead));
    *pdwReturned = g_hooks.dwReadReported;
    return FT_OK;
}

// The real read or write, which returns only once the answer's signals number nSignals.
FT_STATUS WINAPI ThenAwaitSignals(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwCount, LPDWORD pdwDone)
{
    const FT_STATUS status = g_hooks.pfnRealReadOrWrite(hDevice, pBuffer, dwCount, pdwDone);
    PollUntil(::GetTickCount() + kStateWaitMs,
              [] { return g_hooks.pPieceTrace->Calls("SIM_Signal").size() >= g_hooks.nSignals; });
    return status;
}

// The window thread's give-up after the bound, made from inside the call
// once the driver has done its work, when it is the call to give up: the
// call then returns given up.
void GiveUpIfItIs(const char* pszCall)
{
    if (g_hooks.givenUpCall != pszCall || !g_hooks.givenUp.empty())
        return;
    const LPCSTR pszGivenUp = g_hooks.pWatch->GiveUpAfter(0);
    g_hooks.givenUp = pszGivenUp != nullptr ? pszGivenUp : "nothing";
}

FT_STATUS WINAPI OpenGivenUp(PVOID pArg, DWORD dwFlags, FT_HANDLE* phDevice)
{
    const FT_STATUS status = g_hooks.realCalls.FT_OpenEx(pArg, dwFlags, phDevice);
    GiveUpIfItIs("FT_OpenEx");
    return status;
}

FT_STATUS WINAPI WriteGivenUp(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten)
{
    const FT_STATUS status = g_hooks.realCalls.FT_Write(hDevice, pBuffer, dwToWrite, pdwWritten);
    GiveUpIfItIs("FT_Write");
    return status;
}

// Notes too how many given-up calls count as out while the close is made.
FT_STATUS WINAPI CloseGivenUp(FT_HANDLE hDevice)
{
    const FT_STATUS status = g_hooks.realCalls.FT_Close(hDevice);
    GiveUpIfItIs("FT_Close");
    g_hooks.nOutAtClose = CDriverCallWatch::GivenUpCallsOut();
    return status;
}

// An answer in three pieces 60 ms apart, and the pause before it is read in
// the simulator's time: the pause ends once every piece due within its
// milliseconds has come, however late a loaded machine delivers them.
const char kThreePieces[] = "chunks = 3\nchunk_gap_ms = 60\n";

VOID WINAPI PauseForPieces(DWORD dwMilliseconds)
{
    const size_t nDue = std::min<size_t>(3, 1 + dwMilliseconds / 60);
    PollUntil(::GetTickCount() + 10000, [nDue] { return g_hooks.pPieceTrace->Calls("SIM_Signal").size() >= nDue; });
}

class Communication : public ::testing::Test
{
protected:
    void SetUp() override { SetEnv("USBSIM_SCENARIO", ""); }

    // Loads the driver with the scenario, lets hook change its entry points,
    // and searches its devices with a device test that writes to pReport.
    void Load(const std::string& scenario, const std::function<void(DRIVER_ENTRY_POINTS&)>& hook = {},
              CReportWriter* pReport = nullptr)
    {
        ScenarioFile file(scenario);
        ASSERT_EQ(dev.LoadDriverLibrary(SimulatorLibrary().c_str()).kind, RESULT_OK);
        if (hook)
            hook(dev.entryPoints);
        // The scenario is read on the first call after the load.
        dev.Devices(pReport).SearchDevices();
    }

    // The communication test on an emptied report, with the driver loaded
    // for this scenario; the library is unloaded afterwards.
    // Its result is the worst it wrote; a Warning where it tested none.
    CheckResult Communicate(const std::string& scenario)
    {
        Load(scenario);
        dev.ClearReport();
        const CheckResult result = dev.CheckCommunication();
        EXPECT_EQ(result.kind, dev.writer.Lines().empty() ? RESULT_WARNING : dev.writer.WorstResult())
            << "the result given, against the worst one written";
        m_report = dev.ReportText();
        dev.FreeDriverLibrary();
        return result;
    }

    // The same, with the driver's read or write returning only once the
    // answer's signals in the trace number nSignals; the library stays loaded.
    CheckResult CommunicateAwaiting(const std::string& scenario, PFN_FT_Read DRIVER_ENTRY_POINTS::*pCall,
                                    size_t nSignals, const TraceFile& trace)
    {
        g_hooks.pPieceTrace = &trace;
        g_hooks.nSignals = nSignals;
        Load(scenario, [pCall](DRIVER_ENTRY_POINTS& entryPoints) {
            g_hooks.pfnRealReadOrWrite = entryPoints.*pCall;
            entryPoints.*pCall = ThenAwaitSignals;
        });
        dev.ClearReport();
        return dev.CheckCommunication();
    }

    DeviceRun dev;
    NoReceivePause m_noPause;
    std::string m_report;
};

const ExpectedReport::Device& kDevice = kOneDevice;

// The end of a device's test that stopped before an answer was read.
void ClosedWithWarning(ExpectedReport& e, const std::string& status)
{
    e.Detail(Text::kClosed).Alert(status).Warning();
}

void Cancelled(ExpectedReport& e)
{
    e.Alert(Text::kCancelled);
    ClosedWithWarning(e, kSuccess);
}

void TimedOut(ExpectedReport& e)
{
    e.Alert(Text::kTimeout);
    ClosedWithWarning(e, kSuccess);
}
} // namespace

namespace
{
BOOL WINAPI RecordingCounter(LARGE_INTEGER* pCounter)
{
    const BOOL bResult = ::QueryPerformanceCounter(pCounter);
    if (g_hooks.nCounterReadings < 8)
        g_hooks.llCounterReadings[g_hooks.nCounterReadings++] = pCounter->QuadPart;
    return bResult;
}

// Each line reaches the report 40 ms late, as from a window thread busy painting.
struct SlowReport : CReportWriter
{
    explicit SlowReport(CReportWriter& report) : m_report(report) {}
    void WriteLog(LPCSTR pszText, UINT nKind) override
    {
        ::Sleep(40);
        m_report.WriteLog(pszText, nKind);
    }
    CReportWriter& m_report;
};
} // namespace

TEST_F(Communication, TheResponseTimeIsTheCounterSpanFromTheWriteToTheSignal)
{
    // The real counter is read after FT_Write has returned and when the
    // answer is signalled, and nowhere else: the report's two lines between,
    // 80 ms here, are not the instrument's 10 ms. A loaded machine may wake
    // the thread that takes the signal's time late now and then: the closest
    // of three runs counts.
    SystemCallOverride<decltype(SystemCalls::QueryPerformanceCounter)> recording(g_SystemCalls.QueryPerformanceCounter,
                                                                                 RecordingCounter);
    dev.SetDetailed(true);
    SlowReport slowReport(dev.writer);
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    double dError = 0.0;
    for (int nRun = 0; nRun < 3 && (nRun == 0 || std::abs(dError) > 1.0); ++nRun)
    {
        g_hooks.nCounterReadings = 0;
        TraceFile trace;
        Load(OneDevice("latency_ms = 10\n"), {}, &slowReport);
        dev.ClearReport();
        ASSERT_EQ(dev.CheckCommunication().kind, RESULT_OK);
        // The simulator's own counter values for the write and the signal.
        const std::vector<std::string> signals = trace.Calls("SIM_Signal");
        ASSERT_EQ(signals.size(), 1u);
        const LONGLONG llWriteReturned = std::atoll(TraceValue(signals[0], "write_qpc").c_str());
        const LONGLONG llSignal = std::atoll(TraceValue(signals[0], "signal_qpc").c_str());
        ASSERT_EQ(g_hooks.nCounterReadings, 2);
        EXPECT_GE(g_hooks.llCounterReadings[0], llWriteReturned) << "the clock started before FT_Write returned";
        EXPECT_GE(g_hooks.llCounterReadings[1], llSignal) << "the clock stopped before the answer was signalled";
        const std::string text = dev.ReportText();
        const size_t nAt = text.find(Text::kResponseTime);
        ASSERT_NE(nAt, std::string::npos) << text;
        dError = std::atof(text.c_str() + nAt + std::strlen(Text::kResponseTime)) -
                 static_cast<double>(llSignal - llWriteReturned) * 1000.0 / static_cast<double>(frequency.QuadPart);
        dev.FreeDriverLibrary();
    }
    EXPECT_LE(std::abs(dError), 1.0) << "the response time is " << dError << " ms off the instrument's";
}

TEST_F(Communication, EveryOutcomeOfOneDevice)
{
    const std::string answer300 = Filled("0123456789", 300);
    const std::string longDescription = Filled("Long Instrument Name ", 259);
    const std::string longAnswer = Filled("Model,Serial,Firmware;", 254);
    const auto answeredIn = [](const char* pszTime) {
        return [pszTime](ExpectedReport& e) { e.UpToTheWait(kDevice).Answered(27, 27, kTestAnswer, pszTime); };
    };
    const auto answered = answeredIn(kFakeResponseTime);
    const auto waitFails = [](DWORD dwCode) {
        return [dwCode](ExpectedReport& e) { e.UpToTheWait(kDevice).Detail(Text::kClosed).Error(dwCode); };
    };
    struct Case
    {
        const char* pszCase;
        std::string scenario;
        std::function<void(ExpectedReport&)> expected;
        DWORD dwCode;           // of the device's Error
        DWORD dwWaitResult = 0; // what the first wait returns instead of the real one
        DWORD dwWaitError = 0;
        bool bCancelWithTheAnswer = false;
        LONGLONG llSpan = 123440; // the response time's, in counts
        LONGLONG llFrequency = 10000000;
    };
    const Case cases[] = {
        {"ADeviceThatAnswersAtOnceGivesEveryStepInOrder", OneDevice(), answered, 0},
        {"FT_OpenEx fails", OneDevice("open_status = 3\n"),
         [](ExpectedReport& e) {
             // No close; the status text and the result line follow the failure.
             e.UpToTheOpen(kDevice).Alert(Text::kFailed).Alert("The specified device has not been opened.").Warning();
         },
         0},
        {"FT_EE_Read fails", OneDevice("ee_read_status = 11\n"),
         [](ExpectedReport& e) {
             e.UpToTheOpen(kDevice).Detail(Text::kDone).Detail(Text::kReadEeprom).Alert(Text::kFailed);
             ClosedWithWarning(e, "The system cannot read from the EEPROM of the specified device.");
         },
         0},
        {"FT_SetEventNotification fails", OneDevice("notify_status = 4\n"),
         [&](ExpectedReport& e) {
             e.UpToTheNotification(kDevice).Alert(Text::kFailed);
             ClosedWithWarning(e, "The request could not be performed because of an I/O device error.");
         },
         0},
        {"FT_Write fails", OneDevice("write_status = 10\n"),
         [&](ExpectedReport& e) {
             e.UpToTheSend(kDevice).Alert(Text::kFailed);
             ClosedWithWarning(e, "The system cannot write to the specified device.");
         },
         0},
        {"FT_GetQueueStatus fails after the event", OneDevice("queue_status = 1\n"),
         [](ExpectedReport& e) {
             e.UpToTheWait(kDevice)
                 .Detail(Text::kFirstCharacters)
                 .Detail(Text::kResponseTime + std::string("12.35 ms"));
             ClosedWithWarning(e, "The handle is invalid.");
         },
         0},
        {"FT_Read fails after the event", OneDevice("read_status = 4\n"),
         [](ExpectedReport& e) {
             e.UpToTheWait(kDevice).Detail(Text::kFirstCharacters).Detail("27" + std::string(Text::kQueued));
             e.Detail(Text::kResponseTime + std::string("12.35 ms"));
             ClosedWithWarning(e, "The request could not be performed because of an I/O device error.");
         },
         0},
        // The wait times out at once.
        {"no answer within 2000 ms", OneDevice("silent = 1\n"),
         [](ExpectedReport& e) { TimedOut(e.UpToTheWait(kDevice)); }, 0, WAIT_TIMEOUT},
        // AFailedWaitIsAnErrorWithTheSystemsText: the code of the result is the reason's.
        {"WAIT_FAILED with a reason", OneDevice(), waitFails(ERROR_INVALID_HANDLE), ERROR_INVALID_HANDLE, WAIT_FAILED,
         ERROR_INVALID_HANDLE},
        {"an unexpected result of the wait", OneDevice(), waitFails(ERROR_NOT_ENOUGH_MEMORY), ERROR_NOT_ENOUGH_MEMORY,
         WAIT_ABANDONED_0, ERROR_NOT_ENOUGH_MEMORY},
        // With no reason the device must still fail, not pass as "OK".
        {"WAIT_FAILED without a reason", OneDevice(), waitFails(ERROR_GEN_FAILURE), ERROR_GEN_FAILURE, WAIT_FAILED,
         ERROR_SUCCESS},
        {"ACancelWinsOverAnAnswerThatCameAtTheSameTime", OneDevice(),
         [](ExpectedReport& e) { Cancelled(e.UpToTheWait(kDevice)); }, 0, 0, 0, true},
        {"answer ending in CR LF pairs", OneDevice("answer = TEST,1\\r\\n\\r\\n\\r\\n\n"),
         [](ExpectedReport& e) { e.UpToTheWait(kDevice).Answered(12, 12, "TEST,1", kFakeResponseTime); }, 0},
        {"answer ending in a mix of line ends", OneDevice("answer = TEST,2\\n\\r\\r\\n\\n\n"),
         [](ExpectedReport& e) { e.UpToTheWait(kDevice).Answered(11, 11, "TEST,2", kFakeResponseTime); }, 0},
        {"answer of line ends only", OneDevice("answer = \\r\\n\\r\\n\n"),
         [](ExpectedReport& e) { e.UpToTheWait(kDevice).Answered(4, 4, "", kFakeResponseTime); }, 0},
        {"answer of 300 bytes", OneDevice("answer = 0123456789\nanswer_length = 300\n"),
         [&](ExpectedReport& e) {
             e.UpToTheWait(kDevice).Answered(300, 254, answer300.substr(0, 254), kFakeResponseTime);
         },
         0},
        {"answer with a zero byte", OneDevice("answer = AB\\0CD\\r\\n\n"),
         [](ExpectedReport& e) { e.UpToTheWait(kDevice).Answered(7, 7, "AB", kFakeResponseTime); }, 0},
        // Whole only when read after the pause: the last piece comes 120 ms after the first.
        {"answer in three pieces 60 ms apart", OneDevice(kThreePieces), answered, 0},
        {"listing without a terminating zero", OneDevice("untrusted_list_description = 1\n"),
         [](ExpectedReport& e) {
             ExpectedReport::Device device = kDevice;
             device.description = Filled(kDevice.description, 260);
             e.UpToTheWait(device).Answered(27, 27, kTestAnswer, kFakeResponseTime);
         },
         0},
        {"EEPROM texts without a terminating zero", OneDevice("untrusted_eeprom_texts = 1\n"),
         [](ExpectedReport& e) {
             ExpectedReport::Device device = kDevice;
             device.identity = "Vid_0403&Pid_B7E4#" + Filled("TI000001", 16);
             device.eeDescription = Filled(kDevice.eeDescription, 64);
             device.manufacturer = Filled(kDevice.manufacturer, 32);
             e.UpToTheWait(device).Answered(27, 27, kTestAnswer, kFakeResponseTime);
         },
         0},
        {"FT_Read reports more than it was asked for", OneDevice("read_overreport = 50\n"), answered, 0},
        // The driver's texts show their control characters as escapes: none starts a line of its own.
        {"line breaks and control bytes in the device's texts",
         "[driver]\ncount = 1\n" +
             ScenarioDevice(0, "Test\\x01Instrument\\nA",
                            "serial = TI\\n000001\nee_description = Forged\\r\\n... Result:   OK\n"
                            "manufacturer = Test\\tMaker\\x7F\nanswer = TEST\\r\\n... Result:   "
                            "OK\\r\\nCheck completed successfully!\\r\\n\n"),
         [](ExpectedReport& e) {
             e.UpToTheWait({"Test\\x01Instrument\\x0AA", "Vid_0403&Pid_B7E4#TI\\x0A000001",
                            "Forged\\x0D\\x0A... Result:   OK", "Test\\x09Maker\\x7F"})
                 .Answered(55, 55, "TEST\\x0D\\x0A... Result:   OK\\x0D\\x0ACheck completed successfully!",
                           kFakeResponseTime);
         },
         0},
        // TheResponseTimeIsTheCounterSpanFromTheWriteToTheSignal: milliseconds,
        // with a span that ends between hundredths shown at the next one up.
        {"0 counts at 10 MHz", OneDevice(), answeredIn("0.01"), 0, 0, 0, false, 0},
        {"17898 counts at 3.58 MHz", OneDevice(), answeredIn("5.01"), 0, 0, 0, false, 17898, 3579545},
        {"19999990 counts at 10 MHz", OneDevice(), answeredIn("2000.00"), 0, 0, 0, false, 19999990},
        // The EEPROM keeps 63 characters of its description.
        {"LongDescriptionsAndAnswersAreShownWhole",
         "[driver]\ncount = 1\n" + ScenarioDevice(0, longDescription, "answer = " + longAnswer + "\n"),
         [&](ExpectedReport& e) {
             ExpectedReport::Device device = TestDevice(0, longDescription);
             device.eeDescription = longDescription.substr(0, 63);
             e.UpToTheWait(device).Answered(254, 254, longAnswer, kFakeResponseTime);
         },
         0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        TraceFile trace;
        g_hooks.pPieceTrace = &trace;
        SystemCallOverride<decltype(SystemCalls::Sleep)> pause(
            g_SystemCalls.Sleep, Contains(c.scenario, kThreePieces) ? PauseForPieces : g_SystemCalls.Sleep);
        FakeCounter counter(c.llSpan, c.llFrequency);
        WaitHook hook(c.dwWaitResult != 0 ? 1 : 0, c.dwWaitResult, c.dwWaitError);
        if (c.bCancelWithTheAnswer)
            hook.CancelWithTheAnswer(dev.hCancelEvent);
        ExpectedReport expected(true);
        c.expected(expected);
        const CheckResult result = Communicate(c.scenario);
        EXPECT_EQ(result.dwCode, c.dwCode);
        EXPECT_EQ(m_report, expected.Text());
        // The first characters are waited for 2 s. An answer is timed by
        // the start and the end of the span, and nothing else, and read
        // 200 ms after that end.
        for (int nWait = 1; nWait <= std::min(WaitHook::Calls(), 8); ++nWait)
            EXPECT_EQ(WaitHook::Timeout(nWait), 2000u) << "the wait for the first characters";
        if (result.kind == RESULT_OK)
        {
            EXPECT_EQ(FakeCounter::Readings(), 2);
            EXPECT_EQ(FakeCounter::Pauses(), "200 ms after reading 2; ")
                << "the pause before the answer is read, and the response time's end before it";
        }
        // A device that was opened is closed once, whatever failed after the
        // open, and one that never opened is not.
        EXPECT_EQ(UnpairedOpensAndCloses(trace), "");
    }
}

TEST_F(Communication, WithoutAReceiveEventTheDeviceFailsAsWithAFailedWait)
{
    // The device test could not create its receive event: no answer can be signalled.
    dev.SetDetailed(false);
    Load(OneDevice(), [this](DRIVER_ENTRY_POINTS&) {
        CallFault noEvent(g_SystemCalls.CreateEventA, nullptr, ERROR_NOT_ENOUGH_MEMORY);
        dev.Devices();
    });
    dev.ClearReport();
    EXPECT_EQ(dev.CheckCommunication().dwCode, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(dev.ReportText(),
              ExpectedReport(false).Heading(Text::kDevice + kDevice.description).Error(ERROR_INVALID_HANDLE).Text());
    dev.FreeDriverLibrary();
}

TEST_F(Communication, AnAnswerSignalledBeforeTheWriteReturnedIsTimedFromTheStart)
{
    // The counter is read for the start, then for the signal: one span.
    TraceFile trace;
    dev.SetDetailed(true);
    FakeCounter counter;
    EXPECT_EQ(CommunicateAwaiting(OneDevice(), &DRIVER_ENTRY_POINTS::FT_Write, 1, trace).kind, RESULT_OK);
    EXPECT_EQ(dev.ReportText(),
              ExpectedReport(true).UpToTheWait(kDevice).Answered(27, 27, kTestAnswer, kFakeResponseTime).Text());
}

TEST_F(Communication, ReadCountsFromTheDriverAreNotBelieved)
{
    struct
    {
        const char* pszCase;
        DWORD dwQueued;
        std::string data; // what the driver writes
        DWORD dwReported; // what it says it wrote
        DWORD dwAsked;    // what it must have been asked for
        DWORD dwCopied;   // what the report says was copied
        std::string response;
    } cases[] = {
        // Fills the receive buffer, so that the next case would find its bytes.
        {"a full read", 300, std::string(254, 'X'), 254, 254, 254, std::string(254, 'X')},
        {"counted but not written", 10, "AB", 10, 10, 10, "AB"},
        {"more than asked", 10, "CD\r\n", 0xFFFFFFFF, 10, 10, "CD"},
        {"a whole queue", 6, "EFGHIJ", 6, 6, 6, "EFGHIJ"},
        {"nothing queued: an empty answer", 0, "", 0, 0, 0, ""},
    };
    dev.SetDetailed(true);
    dev.entryPoints.FT_GetQueueStatus = ScriptedQueueStatus;
    dev.entryPoints.FT_Read = ScriptedRead;
    for (const auto& c : cases)
    {
        g_hooks.dwQueued = c.dwQueued;
        g_hooks.readData = c.data;
        g_hooks.dwReadReported = c.dwReported;
        dev.ClearReport();
        CString response("left over");
        EXPECT_EQ(dev.ReceiveResponse(nullptr, response), FT_OK) << c.pszCase;
        EXPECT_EQ(g_hooks.dwReadAsked, c.dwAsked) << c.pszCase;
        EXPECT_EQ(std::string(response), c.response) << c.pszCase;
        EXPECT_EQ(dev.ReportText(), ExpectedReport(true)
                                        .Detail(std::to_string(c.dwQueued) + Text::kQueued)
                                        .Detail(std::to_string(c.dwCopied) + Text::kCopied)
                                        .Text())
            << c.pszCase;
    }
    dev.entryPoints = DRIVER_ENTRY_POINTS();
}

TEST_F(Communication, TheSearchReportsTheCountNoDeviceAndADriverError)
{
    struct
    {
        const char* pszCase;
        const char* pszScenario;
        std::function<void(ExpectedReport&)> expected;
    } cases[] = {
        {"two devices", "[driver]\ncount = 2\n",
         [](ExpectedReport& e) { e.Detail(Text::kDevicesFound + std::string("2")).Ok(); }},
        {"no device", "[driver]\ncount = 0\n", [](ExpectedReport& e) { e.Alert(Text::kNoDevice).Warning(); }},
        {"counting fails", "[driver]\ncount_status = 4\n",
         [](ExpectedReport& e) {
             // The driver's status text, not a system text.
             e.DriverError("The request could not be performed because of an I/O device error.");
         }},
    };
    for (const auto& c : cases)
    {
        ScenarioFile file(c.pszScenario);
        ASSERT_EQ(dev.LoadDriverLibrary(SimulatorLibrary().c_str()).kind, RESULT_OK);
        dev.ClearReport();
        const ResultKind kind = dev.SearchDevices().kind;
        EXPECT_EQ(kind, dev.writer.WorstResult()) << c.pszCase;
        ExpectedReport expected(true);
        expected.Heading(Text::kSearch);
        c.expected(expected);
        EXPECT_EQ(dev.ReportText(), expected.Text()) << c.pszCase;
        dev.FreeDriverLibrary();
    }
}

TEST_F(Communication, TheResultIsTheWorstDevicesResult)
{
    const std::string kOpenFails = "open_status = 2\n";
    const std::string kWriteFails = "write_status = 10\n";
    struct
    {
        const char* pszCase;
        std::string first;
        std::string second;
        DWORD dwCode;         // of the result given; its kind is the worst written
        bool bFirstWaitFails; // with ERROR_INVALID_HANDLE
    } cases[] = {
        {"OK, OK", "", "", 0, false},
        {"Warning, OK", kWriteFails, "", 0, false},
        {"OK, Warning", "", kWriteFails, 0, false},
        {"cannot be opened, OK", kOpenFails, "", 0, false},
        {"AFailedWaitIsAnErrorWithTheSystemsText: Error, Warning", "", kWriteFails, ERROR_INVALID_HANDLE, true},
        {"AFailedWaitIsAnErrorWithTheSystemsText: Warning, Error", kWriteFails, "", ERROR_INVALID_HANDLE, true},
    };
    dev.SetDetailed(false);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        WaitHook hook(c.bFirstWaitFails ? 1 : 0, WAIT_FAILED, ERROR_INVALID_HANDLE);
        EXPECT_EQ(Communicate(Instruments({c.first, c.second})).dwCode, c.dwCode) << m_report;
        // Both devices were tested, whatever the first one gave.
        EXPECT_TRUE(Contains(m_report, Text::kDevice + std::string("Instrument One\n"))) << m_report;
        EXPECT_TRUE(Contains(m_report, Text::kDevice + std::string("Instrument Two\n"))) << m_report;
        // One result line per device, one that cannot be opened included.
        EXPECT_EQ(CountOf(m_report, "... Result:   "), 2u) << m_report;
    }
}

TEST_F(Communication, EveryDeviceIsSentTheSameSevenBytes)
{
    TraceFile trace;
    dev.SetDetailed(true);
    EXPECT_EQ(Communicate(Instruments({"", "", ""})).kind, RESULT_OK);
    const std::vector<std::string> writes = trace.Calls("FT_Write");
    ASSERT_EQ(writes.size(), 3u);
    for (size_t i = 0; i < writes.size(); ++i)
    {
        const std::string expected = "FT_Write dev=" + std::to_string(i) + " n=7 hex=2A49444E3F3B0A status=0";
        EXPECT_EQ(writes[i], expected);
    }
    EXPECT_EQ(CountOf(m_report, "\t" + std::string(Text::kSend) + "\n"), 3u) << m_report;
    EXPECT_EQ(CountOf(m_report, "... Result:   OK\n"), 3u) << m_report;
}

TEST_F(Communication, AFailedListingEndsTheLoop)
{
    TraceFile trace;
    FakeCounter counter;
    EXPECT_EQ(Communicate(Instruments({"", "list_status = 2\n", ""})).kind, RESULT_ERROR);
    ExpectedReport expected(true);
    expected.UpToTheWait(Instrument(0)).Answered(27, 27, kTestAnswer, kFakeResponseTime);
    expected.Heading(Text::kCommunication).DriverError("The system cannot find the device specified.");
    EXPECT_EQ(m_report, expected.Text());
    for (const std::string& line : trace.Lines())
    {
        EXPECT_FALSE(Contains(line, "dev=1") && !Contains(line, "FT_ListDevices")) << line;
        EXPECT_FALSE(Contains(line, "index=2") || Contains(line, "dev=2")) << "the third device was reached: " << line;
    }

    EXPECT_EQ(Communicate(Instruments({"list_status = 18\n", ""})).kind, RESULT_ERROR);
    EXPECT_EQ(m_report, ExpectedReport(false)
                            .Heading(Text::kCommunication)
                            .DriverError("The operation finished with an unknown error.")
                            .Text());
}

TEST_F(Communication, AMissingEntryPointStopsTheTestBeforeAnyDevice)
{
    TraceFile trace;
    dev.SetDetailed(true);
    Load(OneDevice());
    const DRIVER_ENTRY_POINTS bound = dev.entryPoints;
    void* slots[8];
    static_assert(sizeof(slots) == sizeof(DRIVER_ENTRY_POINTS), "one slot per entry point");
    for (size_t nSlot = 0; nSlot < 8; ++nSlot)
    {
        std::memcpy(slots, &bound, sizeof(slots));
        slots[nSlot] = nullptr;
        std::memcpy(&dev.entryPoints, slots, sizeof(slots));
        dev.pDevices.reset();
        dev.ClearReport();
        EXPECT_EQ(dev.CheckCommunication().kind, RESULT_WARNING) << "slot " << nSlot;
        EXPECT_EQ(dev.ReportText(),
                  ExpectedReport(true).Heading(Text::kCommunication).Alert(Text::kNoEntryPoint).Warning().Text())
            << "slot " << nSlot;
    }
    dev.entryPoints = bound;
    // ACallWithNoDeviceToTestWritesNothingAndFails.
    dev.pDevices.reset();
    dev.ClearReport();
    EXPECT_EQ(dev.CheckCommunication().kind, RESULT_WARNING) << "no device to test";
    EXPECT_EQ(dev.ReportText(), "") << "no device to test";
    // Only the search's count: no device was listed or opened.
    for (const std::string& line : trace.Lines())
        EXPECT_FALSE(Contains(line, "index=") || Contains(line, "FT_OpenEx")) << line;
}

TEST_F(Communication, ALeftoverSignalOfAChunkedAnswerDoesNotEndTheNextDevicesWait)
{
    // The first answer's second chunk is signalled after its read and left in
    // the receive event. The second device never answers: its real wait runs out.
    TraceFile trace;
    dev.SetDetailed(true);
    FakeCounter counter;
    EXPECT_EQ(CommunicateAwaiting(Instruments({"chunks = 2\nchunk_gap_ms = 500\n", "silent = 1\n"}),
                                  &DRIVER_ENTRY_POINTS::FT_Read, 2, trace)
                  .kind,
              RESULT_WARNING);
    ASSERT_EQ(trace.Calls("SIM_Signal").size(), 2u) << "the first device's answer did not come in two chunks";
    ExpectedReport expected(true);
    expected.UpToTheWait(Instrument(0)).Answered(14, 14, std::string(kTestAnswer).substr(0, 14), kFakeResponseTime);
    TimedOut(expected.UpToTheWait(Instrument(1)));
    EXPECT_EQ(dev.ReportText(), expected.Text()) << "the second device's wait must not end on the first one's signal";
}

namespace
{
struct CheckRunJob
{
    CCheckRun* pRun;
    RecordingWriter* pWriter;
};

DWORD WINAPI RunChecksProc(LPVOID pParam)
{
    const CheckRunJob& job = *static_cast<const CheckRunJob*>(pParam);
    return job.pRun->Run(*job.pWriter);
}
} // namespace

TEST_F(Communication, CancellingTheRunDuringTheFirstWaitEndsItThere)
{
    // The first of two devices does not answer; the run is cancelled, as the
    // dialog's close cancels it, while its test waits. That device ends with
    // the cancel, the second is never opened, and the cancel stays signalled
    // for any wait after it.
    TraceFile trace;
    ScenarioFile file(Instruments({"silent = 1\n", ""}));
    const std::string library = SimulatorLibrary();
    DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
    WaitHook hook;
    CCheckRun run;
    RecordingWriter writer;
    CheckRunJob job = {&run, &writer};
    const HANDLE hThread = ::CreateThread(nullptr, 0, RunChecksProc, &job, 0, nullptr);
    ASSERT_NE(hThread, nullptr);
    const bool bWaiting = PollUntil(::GetTickCount() + kStateWaitMs, [] { return WaitHook::Entered(); });
    run.Cancel();
    ASSERT_EQ(::WaitForSingleObject(hThread, kStateWaitMs), WAIT_OBJECT_0) << "the run did not end";
    DWORD dwOutcome = 0;
    ::GetExitCodeThread(hThread, &dwOutcome);
    ::CloseHandle(hThread);
    ASSERT_TRUE(bWaiting) << "the first device's wait never began";

    EXPECT_EQ(dwOutcome, static_cast<DWORD>(RUN_CANCELLED));
    ASSERT_EQ(WaitHook::Calls(), 1) << "a wait after the cancel";
    EXPECT_EQ(WaitHook::Result(1), WAIT_OBJECT_0) << "the first wait did not end with the cancel";
    EXPECT_EQ(::WaitForSingleObject(g_hooks.hLastCancelEvent, 0), WAIT_OBJECT_0) << "the cancel was used up";
    const std::vector<std::string> opens = trace.Calls("FT_OpenEx");
    EXPECT_EQ(opens.size(), 1u) << "opened after the cancel: " << Joined(opens);
    EXPECT_EQ(trace.Calls("FT_Close").size(), 1u);
    ExpectedReport expected(true);
    Cancelled(expected.UpToTheWait(Instrument(0)));
    expected.Freed().Summary(false);
    EXPECT_TRUE(EndsWith(writer.Text(), expected.Text())) << writer.Text();
}

TEST_F(Communication, ADeviceOpenWhenAGivenUpCallReturnsIsClosedOnTheWayOut)
{
    // The window thread gives up on the call after the bound, here from inside
    // it, and the call returns later: the test leaves with the throw, writes
    // nothing more, and gives back the device that is open then, once.
    const auto opening = [](ExpectedReport& e) { e.UpToTheOpen(kDevice); };
    const auto upToTheWrite = [](ExpectedReport& e) { e.UpToTheSend(kDevice); };
    // Answered() but for its last two lines.
    const auto upToTheClose = [](ExpectedReport& e) {
        e.UpToTheWait(kDevice).Detail(Text::kFirstCharacters).Detail("27" + std::string(Text::kQueued));
        e.Detail("27" + std::string(Text::kCopied)).Detail(Text::kResponse + std::string(kTestAnswer));
        e.Detail(Text::kResponseTime + std::string(kFakeResponseTime) + " ms");
    };
    const struct
    {
        const char* pszCase;
        const char* pszGivenUp;
        std::string scenario;
        std::function<void(ExpectedReport&)> expected; // up to the call given up
        bool bOpened;
    } cases[] = {
        {"the open, which brought the device", "FT_OpenEx", OneDevice(), opening, true},
        {"the open, which failed: no handle to close", "FT_OpenEx", OneDevice("open_status = 3\n"), opening, false},
        {"the write", "FT_Write", OneDevice(), upToTheWrite, true},
        {"the close, which is not made again", "FT_Close", OneDevice(), upToTheClose, true},
    };
    dev.SetDetailed(true);
    FakeCounter counter;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        TraceFile trace;
        g_hooks.pWatch = dev.pWatch.get();
        g_hooks.givenUpCall = c.pszGivenUp;
        g_hooks.givenUp.clear();
        g_hooks.nOutAtClose = -1;
        Load(c.scenario, [](DRIVER_ENTRY_POINTS& entryPoints) {
            g_hooks.realCalls = entryPoints;
            entryPoints.FT_OpenEx = OpenGivenUp;
            entryPoints.FT_Write = WriteGivenUp;
            entryPoints.FT_Close = CloseGivenUp;
        });
        dev.ClearReport();
        EXPECT_THROW(dev.CheckCommunication(), DriverCallGivenUp);
        const std::string report = dev.ReportText();
        dev.FreeDriverLibrary();

        ASSERT_EQ(g_hooks.givenUp, c.pszGivenUp) << "the call was not given up";
        ExpectedReport expected(true);
        c.expected(expected);
        EXPECT_EQ(report, expected.Text()) << "written after the call was given up";
        EXPECT_EQ(UnpairedOpensAndCloses(trace), "");
        if (c.bOpened)
        {
            EXPECT_EQ(g_hooks.nOutAtClose, 1) << "given-up calls out while the device was closed";
        }
        EXPECT_EQ(CDriverCallWatch::GivenUpCallsOut(), 0) << "given-up calls out once the test has left";
    }
}

TEST_F(Communication, EachDeviceIsOpenedBySerialNumberUnlessAnEarlierOneHadIt)
{
    // Two instruments of one model, as a lab has them, the second silent;
    // then two that the driver cannot tell apart.
    const std::string model = "Test Instrument A";
    const std::string second = ScenarioDevice(1, model, "silent = 1\n");
    const struct
    {
        const char* pszCase;
        std::string scenario;
        std::function<void(ExpectedReport&)> secondDevice;
    } cases[] = {
        {"one description, two serial numbers", "[driver]\ncount = 2\n" + ScenarioDevice(0, model) + second,
         [&](ExpectedReport& e) { TimedOut(e.UpToTheWait(TestDevice(1, model))); }},
        {"one serial number", "[driver]\ncount = 2\n" + ScenarioDevice(0, model) + second + "serial = TI000001\n",
         [&](ExpectedReport& e) {
             e.Heading(Text::kDevice + model);
             e.Alert("A device tested before has the same serial number (TI000001): this one cannot be told "
                     "apart from it and is not tested");
             e.Warning();
         }},
    };
    dev.SetDetailed(true);
    FakeCounter counter;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        // The silent device's wait ends at once, as the real one would after two seconds.
        WaitHook timeout(2, WAIT_TIMEOUT);
        EXPECT_EQ(Communicate(c.scenario).kind, RESULT_WARNING);
        ExpectedReport expected(true);
        expected.UpToTheWait(TestDevice(0, model)).Answered(27, 27, kTestAnswer, kFakeResponseTime);
        c.secondDevice(expected);
        // The second device's identity, or none: whom each open reached.
        EXPECT_EQ(m_report, expected.Text());
    }
}

TEST_F(Communication, RepeatedFailuresLeaveNoHandlesBehind)
{
    dev.SetDetailed(true);
    const std::string scenarios[] = {
        OneDevice("open_status = 3\n"),
        OneDevice("ee_read_status = 11\n"),
        OneDevice("notify_status = 4\n"),
        OneDevice("write_status = 10\n"),
        OneDevice("queue_status = 1\n"),
        OneDevice("read_status = 4\n"),
        OneDevice("untrusted_list_description = 1\nuntrusted_eeprom_texts = 1\nread_overreport = 9\n"),
        OneDevice("answer = 0123456789\nanswer_length = 300\nchunks = 4\nchunk_gap_ms = 5\n"),
        Instruments({"", "list_status = 2\n", ""}),
        "[driver]\ncount_status = 4\n",
    };
    const auto runAll = [&] {
        for (const std::string& scenario : scenarios)
        {
            Communicate(scenario);
            // A failed wait, on the same scenario.
            WaitHook hook(1, WAIT_FAILED, ERROR_INVALID_HANDLE);
            Communicate(OneDevice());
        }
    };
    // One round first, for what the process keeps once each path has run; the
    // count is exact, so one more round shows a handle kept by any of them.
    runAll();
    EXPECT_EQ(HandlesLeftBy(runAll), 0) << "handles left by a round";
    // One that never answers, twice; its wait times out at once.
    const auto silent = [&] {
        WaitHook timeout(1, WAIT_TIMEOUT);
        Communicate(OneDevice("silent = 1\n"));
    };
    EXPECT_EQ(HandlesLeftBy(silent, 2), 0) << "handles left by two silent devices";
}
