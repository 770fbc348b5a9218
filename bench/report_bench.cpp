// Report throughput: 5,000 WriteLog calls from a second thread, as the check
// run writes them, with the report visible and with it hidden. Prints lines
// per second, the ratio of the two, and the per-line cost of the first and
// the last thousand lines.
#include "res/resource.h"
#include "support/TestDialogHost.h"

#include <cstdio>
#include <vector>

namespace
{
const int kLines = 5000;
const int kBlock = 1000;

struct Timing
{
    double dTotalMs;
    double dFirstBlockMs;
    double dLastBlockMs;
};

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

Timing Measure(bool bVisible, bool bPaced)
{
    TestDialogHost host;
    CUsbInstallationTestDlg& dlg = host.Dialog();
    dlg.m_bDetailed.store(TRUE);
    ::ShowWindow(dlg.m_richLog.m_hWnd, bVisible ? SW_SHOW : SW_HIDE);
    host.PumpUntil([] { return false; }, 200);

    std::vector<double> stamps(kLines + 1);
    if (bPaced)
        dlg.BeginRunPainting();
    host.RunOnWorker([&] {
        stamps[0] = Now();
        for (int i = 0; i < kLines; ++i)
        {
            dlg.WriteLog(i % 10 == 0 ? "Check specific registry entries for device:   Vid_0403&Pid_B7E4" : "Registered driver file:   driver.sys",
                         i % 10 == 0 ? LOG_HEADING : LOG_DETAIL);
            stamps[static_cast<size_t>(i) + 1] = Now();
        }
        return 0;
    });
    if (bPaced)
        dlg.EndRunPainting();
    return {stamps[kLines] - stamps[0], stamps[kBlock] - stamps[0], stamps[kLines] - stamps[kLines - kBlock]};
}
} // namespace

int main()
{
    AfxInitRichEdit();
    // A hidden report never paints; it is the floor.
    const Timing hidden = Measure(false, false);
    const Timing unpaced = Measure(true, false);
    const Timing visible = Measure(true, true);
    std::printf("report throughput, %d WriteLog calls from a second thread\n", kLines);
    std::printf("  visible, repainted after every line: %8.0f lines/s  (%.3f ms per line)\n",
                kLines * 1000.0 / unpaced.dTotalMs, unpaced.dTotalMs / kLines);
    std::printf("  visible, as a run paints it:        %8.0f lines/s  (%.3f ms per line)\n", kLines * 1000.0 / visible.dTotalMs, visible.dTotalMs / kLines);
    std::printf("  hidden:                              %8.0f lines/s  (%.3f ms per line)\n", kLines * 1000.0 / hidden.dTotalMs, hidden.dTotalMs / kLines);
    std::printf("  visible / hidden cost: %.2f  (goal: at most 1.5)\n", visible.dTotalMs / hidden.dTotalMs);
    std::printf("  visible, first %d lines: %.3f ms per line; last %d: %.3f ms per line; ratio %.2f (goal: at most 1.5)\n",
                kBlock, visible.dFirstBlockMs / kBlock, kBlock, visible.dLastBlockMs / kBlock,
                visible.dLastBlockMs / visible.dFirstBlockMs);
    std::printf("  hidden,  first %d lines: %.3f ms per line; last %d: %.3f ms per line; ratio %.2f\n", kBlock,
                hidden.dFirstBlockMs / kBlock, kBlock, hidden.dLastBlockMs / kBlock,
                hidden.dLastBlockMs / hidden.dFirstBlockMs);
    return 0;
}
