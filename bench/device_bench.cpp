// The communication test's timing, in detailed runs with the dialog visible:
// - response-time error, as a user sees it: the real program, its dialog
//   painting as a run paints, three instruments answering after 30, 10 and
//   3 ms; each device's "Response time" minus the span the simulator
//   recorded on the same counter from FT_Write's return to the signal of the
//   first characters; median, worst and the count over 1 ms late, for the
//   first device, the later ones and all;
// - run overhead: a whole run with one instrument answering at once, from
//   the Start click to the run's hand-over, less the 200 ms pause before
//   the answer is read, in a dialog of this process.
#include "bench/BenchCommon.h"
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/TestDialogHost.h"
#include "support/UiHarness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
const int kRuns = 20;
const int kOverheadRuns = 20;
const double kReceivePauseMs = 200.0;
// The first device's and the later ones' (3 ms: the simulator's default).
const DWORD kLatenciesMs[] = {30, 10, 3};
const int kDevices = sizeof(kLatenciesMs) / sizeof(kLatenciesMs[0]);
const double kGoalMedianMs = 0.1;
const double kGoalWorstMs = 0.5;

double Frequency()
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

// The values of the report's "Response time:   %.2f ms" lines, in order.
std::vector<double> ReportedResponseTimes(const std::string& report)
{
    const std::string label = "Response time:   ";
    std::vector<double> times;
    for (size_t nAt = report.find(label); nAt != std::string::npos; nAt = report.find(label, nAt + 1))
        times.push_back(std::atof(report.c_str() + nAt + label.size()));
    return times;
}

// From each first chunk's signal in the trace lines from nFrom on, the
// milliseconds from the return of FT_Write to the signal, by device.
std::vector<double> RecordedDelays(const std::vector<std::string>& lines, size_t nFrom)
{
    std::vector<double> delays;
    for (size_t i = nFrom; i < lines.size(); ++i)
    {
        if (lines[i].rfind("SIM_Signal ", 0) != 0 || !Contains(lines[i], " chunk=1/"))
            continue;
        const double dSignal = std::atof(TraceValue(lines[i], "signal_qpc").c_str());
        delays.push_back((dSignal - std::atof(TraceValue(lines[i], "write_qpc").c_str())) * 1000.0 / Frequency());
    }
    return delays;
}

struct Errors
{
    std::vector<double> first; // the first device's, one a run
    std::vector<double> later;
    int nFailed = 0;
};

Errors MeasureResponseTimeErrors()
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    std::string scenario = "[driver]\ncount = " + std::to_string(kDevices) + "\n";
    for (int nDevice = 0; nDevice < kDevices; ++nDevice)
    {
        scenario += ScenarioDevice(nDevice, "Timed Instrument " + std::to_string(nDevice + 1),
                                   "latency_ms = " + std::to_string(kLatenciesMs[nDevice]) + "\n");
    }
    ScenarioFile file(scenario);
    TraceFile trace;
    Errors errors;
    UiHarness ui;
    if (!ui.Started())
    {
        errors.nFailed = kRuns;
        return errors;
    }
    // Active, as in front of a user: its focused report redraws the caret on
    // every line. Switching to the detailed view runs the check once: the
    // warm-up. Only the button's state is polled during a run: the report's
    // text, read from here, would cost its window thread a message.
    ui.FocusedControl();
    ui.Click(IDC_BUTTON_DETAILS);
    ui.WaitUntil([&ui] { return ui.IsEnabled(IDC_BUTTON_START); });
    for (int nRun = 0; nRun < kRuns; ++nRun)
    {
        const size_t nTraceLines = trace.Lines().size();
        ui.Click(IDC_BUTTON_START);
        const bool bEnded = ui.WaitUntil([&ui] { return ui.IsEnabled(IDC_BUTTON_START); });
        const std::vector<double> reported = ReportedResponseTimes(ui.ReportText());
        const std::vector<double> delays = RecordedDelays(trace.Lines(), nTraceLines);
        if (!bEnded || reported.size() != kDevices || delays.size() != kDevices)
        {
            ++errors.nFailed;
            continue;
        }
        errors.first.push_back(reported[0] - delays[0]);
        for (int nDevice = 1; nDevice < kDevices; ++nDevice)
            errors.later.push_back(reported[nDevice] - delays[nDevice]);
    }
    ui.Close();
    return errors;
}

void PrintErrors(const char* pszWhich, const std::vector<double>& errors)
{
    if (errors.empty())
    {
        std::printf("  %-14s no figures\n", pszWhich);
        return;
    }
    const double dMedian = Median(errors);
    const double dWorst =
        *std::max_element(errors.begin(), errors.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    const auto nLate = std::count_if(errors.begin(), errors.end(), [](double d) { return d > 1.0; });
    const bool bMet = std::abs(dMedian) <= kGoalMedianMs && std::abs(dWorst) <= kGoalWorstMs;
    std::printf("  %-14s median %5.2f ms, worst %5.2f ms, %2d of %2d over 1 ms late  goal: median <= %.1f, "
                "worst <= %.1f%s\n",
                pszWhich, dMedian, dWorst, static_cast<int>(nLate), static_cast<int>(errors.size()), kGoalMedianMs,
                kGoalWorstMs, bMet ? "" : "  MISSED");
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
    ScenarioFile scenario(OneDevice());
    const std::string library = SimulatorLibrary();
    DeviceTableOverride table({{-1, -1, library.c_str(), nullptr, nullptr}});
    std::vector<double> overheads;
    int nFailed = 0;
    for (int nRun = 0; nRun < kOverheadRuns; ++nRun)
    {
        const double dStart = NowMs();
        host.Click(IDC_BUTTON_START);
        // The run's hand-over gives Start back.
        const bool bEnded = host.PumpUntil([&host] { return host.IsEnabled(IDC_BUTTON_START); });
        const double dEnd = NowMs();
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
    SetEnv("USBSIM_SCENARIO", "");
    SetEnv("USBSIM_TRACE", "");

    const Errors errors = MeasureResponseTimeErrors();
    std::printf("response-time error: reported \"Response time\" minus the simulator's recorded span, over %d\n",
                kRuns);
    std::printf("detailed runs of the program, its dialog visible; devices answering after");
    for (const DWORD dwLatencyMs : kLatenciesMs)
        std::printf(" %lu", static_cast<unsigned long>(dwLatencyMs));
    std::printf(" ms\n");
    PrintErrors("first device:", errors.first);
    PrintErrors("later devices:", errors.later);
    std::vector<double> all = errors.first;
    all.insert(all.end(), errors.later.begin(), errors.later.end());
    PrintErrors("all:", all);
    if (errors.nFailed != 0)
        std::printf("  (%d runs without every response time)\n", errors.nFailed);

    TestDialogHost host;
    host.SetDetailed(true);
    // Settle the dialog's first paint.
    host.PumpUntil([] { return false; }, 200);
    const Overhead o = MeasureOverhead(host);
    std::printf("run overhead: a whole detailed run, one instrument answering at once, Start click to the\n");
    std::printf("run's hand-over, less the 200 ms pause; median of %d runs with the dialog visible\n", kOverheadRuns);
    std::printf("  %.1f ms  (min %.1f, max %.1f)  goal: under 100 ms%s", o.dMedian, o.dMin, o.dMax,
                o.dMedian < 100.0 ? "" : "  MISSED");
    if (o.nFailed != 0)
        std::printf("  (%d runs did not succeed)", o.nFailed);
    std::printf("\n");
    return 0;
}
