// Clicks through the check dialog for scripts/run, from outside the program as
// a user would: starts it, clicks "Start Check Routine", waits for the end of
// the run, prints the report and lets the calling script photograph the
// dialog; then does the same with "Details >>".
// Usage: demo_driver <exe> <signal folder>. For each step N it writes
// <folder>\stepN.ready and waits for <folder>\stepN.done.
#include "res/resource.h"
#include "support/UiHarness.h"

#include <cstdio>

namespace
{
// A first run in a fresh prefix takes its time: Wine sets up what the
// program loads first.
const DWORD kRunWaitMs = 120000;
const DWORD kPhotographWaitMs = 60000;

// Clicks the button, waits for the run it starts, prints the report, paints
// the dialog and waits for the script's photograph.
bool Step(UiHarness& ui, int nButton, const std::string& folder, int nStep)
{
    ui.Click(nButton);
    if (!ui.WaitUntil([&ui] { return ui.RunEnded(); }, kRunWaitMs))
    {
        std::fprintf(stderr, "the run of step %d did not end\n", nStep);
        return false;
    }
    // As the dialog shows it, its last line too.
    std::printf("%s", NormalizeLineEnds(WindowText(ui.Control(IDC_RICHEDIT_LOG))).c_str());
    std::fflush(stdout);
    ::RedrawWindow(ui.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::string step = folder + "\\step" + std::to_string(nStep);
    WriteFileBytes(step + ".ready", std::string());
    return ui.WaitUntil([&step] { return FileExists(step + ".done"); }, kPhotographWaitMs);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: demo_driver <exe> <signal folder>\n");
        return 2;
    }
    const std::string exe = argv[1];
    const std::string folder = exe.substr(0, exe.find_last_of("\\/"));
    UiHarness ui(folder.c_str(), exe);
    if (!ui.Started())
    {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    if (!Step(ui, IDC_BUTTON_START, argv[2], 1) || !Step(ui, IDC_BUTTON_DETAILS, argv[2], 2))
        return 1;
    return ui.Close() ? 0 : 1;
}
