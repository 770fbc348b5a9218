// The report without the dialog as a script sees it: the wall time of
// "UsbInstallationTest.exe /report FILE" on the demo installation, from
// CreateProcess to the end of the process, next to the run's intrinsic time,
// read from the report that same run wrote: for each device the 200 ms pause
// before its answer is read plus its reported response time (the simulated
// latency). The difference is what the program costs, its start included.
#include "bench/BenchCommon.h"
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "support/RtfText.h"
#include "support/UiHarness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
const int kRuns = 15;
const double kReceivePauseMs = 200.0;
const double kGoalMs = 300.0;

// The devices' pauses and the response times of every "Response time" line;
// -1 when the report has none.
double IntrinsicMs(const std::string& report)
{
    const std::string label = "Response time:   ";
    double dTotal = 0.0;
    int nDevices = 0;
    for (size_t nAt = report.find(label); nAt != std::string::npos; nAt = report.find(label, nAt + 1))
    {
        dTotal += kReceivePauseMs + std::atof(report.c_str() + nAt + label.size());
        ++nDevices;
    }
    return nDevices > 0 ? dTotal : -1.0;
}
} // namespace

int main()
{
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    SetEnv("USBSIM_TRACE", "");
    const std::string path = TempDirectory() + "\\bench-report.rtf";
    const std::string arguments = "/report \"" + path + "\"";

    // The first start brings the program and its libraries into the cache.
    RunToEnd(arguments);

    std::vector<double> walls;
    std::vector<double> intrinsics;
    std::vector<double> overheads;
    int nFailed = 0;
    for (int nRun = 0; nRun < kRuns; ++nRun)
    {
        DeleteFileIfAny(path);
        const double dStart = NowMs();
        const DWORD dwExitCode = RunToEnd(arguments);
        const double dWall = NowMs() - dStart;
        const double dIntrinsic = IntrinsicMs(RtfToPlainText(ReadFileBytes(path)));
        if (dwExitCode != 0 || dIntrinsic < 0)
        {
            ++nFailed;
            continue;
        }
        walls.push_back(dWall);
        intrinsics.push_back(dIntrinsic);
        overheads.push_back(dWall - dIntrinsic);
    }
    DeleteFileIfAny(path);

    // The start and end of the process alone: /report without FILE is
    // answered before any window or run.
    std::vector<double> bare;
    for (int nRun = 0; nRun < kRuns; ++nRun)
    {
        const double dStart = NowMs();
        RunToEnd("/report");
        bare.push_back(NowMs() - dStart);
    }

    std::printf("/report on the demo installation: wall time from CreateProcess to the process's end,\n");
    std::printf("intrinsic time from the same run's report (200 ms per device + its response time);\n");
    std::printf("median of %d runs, detailed view\n", kRuns);
    if (overheads.empty())
    {
        std::printf("  no run succeeded  MISSED\n");
        return 0;
    }
    const double dOverhead = Median(overheads);
    std::printf("  wall %.1f ms, intrinsic %.1f ms, overhead %.1f ms  (min %.1f, max %.1f)  goal: under %.0f ms%s",
                Median(walls), Median(intrinsics), dOverhead, *std::min_element(overheads.begin(), overheads.end()),
                *std::max_element(overheads.begin(), overheads.end()), kGoalMs, dOverhead < kGoalMs ? "" : "  MISSED");
    if (nFailed != 0)
        std::printf("  (%d runs did not succeed)", nFailed);
    std::printf("\n  of which the start and end of the process: %.1f ms (/report without FILE, median)\n",
                Median(bare));
    return 0;
}
