// The communication test's timing, with the dialog visible and the detailed
// view on, each run a check run on a second thread painted as a run paints:
// - response-time fidelity: the simulated instrument answers L ms after
//   FT_Write returned; the report's "Response time" minus the delay the
//   simulator recorded with the same counter, median over 20 runs per L;
// - run overhead: a whole run with one instrument answering at once, from
//   the Start click to the end-of-run record, less the 200 ms pause before
//   the answer is read.
#include "bench/BenchCommon.h"
#include "device_fixture.h"
#include "res/resource.h"
#include "simulator/TestExports.h"
#include "support/TestDialogHost.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
const int kRuns = 20;
const int kOverheadRuns = 20;
const double kReceivePauseMs = 200.0;

double Frequency()
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

// The value of the report's "Response time:   %.2f ms" line, or -1.
double ReportedResponseTime(const std::string& report)
{
    const std::string label = "Response time:   ";
    const size_t nAt = report.find(label);
    return nAt == std::string::npos ? -1.0 : std::atof(report.c_str() + nAt + label.size());
}

std::string Scenario(DWORD dwLatencyMs)
{
    return "[driver]\ncount = 1\n" +
           ScenarioDevice(0, "Test Instrument A", "latency_ms = " + std::to_string(dwLatencyMs) + "\n");
}

struct Fidelity
{
    double dMedian;
    double dMin;
    double dMax;
    double dMedianDelay;
    double dMedianReported;
    int nMissing;
};

Fidelity MeasureFidelity(TestDialogHost& host, DWORD dwLatencyMs)
{
    ScenarioFile scenario(Scenario(dwLatencyMs));
    const std::string library = SimulatorLibrary();
    // Our own reference keeps the simulator's recorded timings alive between
    // the runs, which each unload the library.
    const HMODULE hReference = ::LoadLibraryA(library.c_str());
    const auto pfnTimings = reinterpret_cast<PFN_SIM_GetLastTimings>(
        reinterpret_cast<void*>(::GetProcAddress(hReference, "SIM_GetLastTimings")));
    Fidelity result = {0, 0, 0, 0, 0, 0};
    if (pfnTimings == nullptr)
    {
        std::printf("  the simulator's timings cannot be read\n");
        result.nMissing = kRuns;
        return result;
    }
    DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
    CUsbInstallationTestDlg& dlg = host.Dialog();
    std::vector<double> differences;
    std::vector<double> delays;
    std::vector<double> reported;
    for (int nRun = 0; nRun < kRuns; ++nRun)
    {
        host.ClearReport();
        dlg.BeginRunPainting();
        host.RunOnWorker([&dlg] { return CheckThreadProc(&dlg); });
        dlg.EndRunPainting();
        const double dReported = ReportedResponseTime(host.ReportText());
        LONGLONG llWriteReturned = 0;
        LONGLONG llSignal = 0;
        pfnTimings(&llWriteReturned, &llSignal);
        if (dReported < 0 || llSignal == 0)
        {
            ++result.nMissing;
            continue;
        }
        const double dDelay = static_cast<double>(llSignal - llWriteReturned) * 1000.0 / Frequency();
        delays.push_back(dDelay);
        reported.push_back(dReported);
        differences.push_back(dReported - dDelay);
    }
    ::FreeLibrary(hReference);
    if (!differences.empty())
    {
        result.dMedian = Median(differences);
        result.dMin = *std::min_element(differences.begin(), differences.end());
        result.dMax = *std::max_element(differences.begin(), differences.end());
        result.dMedianDelay = Median(delays);
        result.dMedianReported = Median(reported);
    }
    return result;
}

struct Overhead
{
    double dMedian;
    double dMin;
    double dMax;
    int nFailed;
};

Overhead MeasureOverhead(TestDialogHost& host)
{
    ScenarioFile scenario(Scenario(0));
    const std::string library = SimulatorLibrary();
    DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
    CUsbInstallationTestDlg& dlg = host.Dialog();
    std::vector<double> overheads;
    int nFailed = 0;
    for (int nRun = 0; nRun < kOverheadRuns; ++nRun)
    {
        const double dStart = NowMs();
        host.Click(IDC_BUTTON_START);
        // The end-of-run record clears the worker's handle.
        const bool bEnded = host.PumpUntil([&dlg] { return dlg.m_hWorkerThread == nullptr; });
        const double dEnd = NowMs();
        // Let the finished thread's handle come back before the next click.
        host.PumpUntil([&host] { return host.IsEnabled(IDC_BUTTON_START); });
        if (!bEnded || !Contains(host.ReportText(), "Check completed successfully!"))
        {
            ++nFailed;
            continue;
        }
        overheads.push_back(dEnd - dStart - kReceivePauseMs);
    }
    Overhead result = {0, 0, 0, nFailed};
    if (!overheads.empty())
    {
        result.dMedian = Median(overheads);
        result.dMin = *std::min_element(overheads.begin(), overheads.end());
        result.dMax = *std::max_element(overheads.begin(), overheads.end());
    }
    return result;
}
} // namespace

int main()
{
    SetEnv("USBSIM_TRACE", "");
    TestDialogHost host;
    host.SetDetailed(true);
    // Settle the dialog's first paint.
    host.PumpUntil([] { return false; }, 200);

    std::printf("response-time fidelity: reported \"Response time\" minus the simulator's recorded delay,\n");
    std::printf("median of %d detailed runs with the dialog visible\n", kRuns);
    for (const DWORD dwLatencyMs : {0u, 5u, 50u, 500u})
    {
        const Fidelity f = MeasureFidelity(host, dwLatencyMs);
        const double dGoal = dwLatencyMs == 0 ? 3.0 : 1.0;
        std::printf("  L = %3lu ms: %6.2f ms  (min %.2f, max %.2f; reported %.2f ms, recorded delay %.2f ms)  "
                    "goal: under %.0f ms%s",
                    static_cast<unsigned long>(dwLatencyMs), f.dMedian, f.dMin, f.dMax, f.dMedianReported,
                    f.dMedianDelay, dGoal, f.dMedian < dGoal ? "" : "  MISSED");
        if (f.nMissing != 0)
            std::printf("  (%d runs without a response time)", f.nMissing);
        std::printf("\n");
    }

    const Overhead o = MeasureOverhead(host);
    std::printf("run overhead: a whole detailed run, one instrument answering at once, Start click to the\n");
    std::printf("end-of-run record, less the 200 ms pause; median of %d runs with the dialog visible\n", kOverheadRuns);
    std::printf("  %.1f ms  (min %.1f, max %.1f)  goal: under 100 ms%s", o.dMedian, o.dMin, o.dMax,
                o.dMedian < 100.0 ? "" : "  MISSED");
    if (o.nFailed != 0)
        std::printf("  (%d runs did not succeed)", o.nFailed);
    std::printf("\n");
    return 0;
}
