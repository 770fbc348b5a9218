// Drives the demo: starts the product, clicks "Start Check Routine" as a user
// would, waits for the end of the run, and tells the calling script when the
// dialog can be photographed; then shows the detailed view the same way.
// Usage: demo_driver <exe> <signal folder>. For each step N it writes
// <folder>\stepN.ready and waits for <folder>\stepN.done.
#include "res/resource.h"
#include "support/UiHarness.h"

#include <cstdio>
#include <string>

namespace
{
// Paints the dialog now, then tells the script and waits for its photograph.
bool Signal(const UiHarness& ui, const std::string& folder, int nStep)
{
    ::RedrawWindow(ui.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::string ready = folder + "\\step" + std::to_string(nStep) + ".ready";
    const std::string done = folder + "\\step" + std::to_string(nStep) + ".done";
    const HANDLE hFile = ::CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    for (int i = 0; i < 1200; ++i)
    {
        if (::GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        ::Sleep(50);
    }
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: demo_driver <exe> <signal folder>\n");
        return 2;
    }
    UiHarness ui(nullptr, argv[1]);
    if (!ui.Started())
    {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    if (!ui.StartAndWaitForEnd(120000))
    {
        std::fprintf(stderr, "the run did not end\n");
        return 1;
    }
    std::printf("%s", ui.ReportText().c_str());
    if (!Signal(ui, argv[2], 1))
        return 1;

    ui.Click(IDC_BUTTON_DETAILS);
    if (!ui.WaitUntil([&] { return ui.RunEnded(); }, 120000))
        return 1;
    std::printf("%s", ui.ReportText().c_str());
    if (!Signal(ui, argv[2], 2))
        return 1;
    return ui.Close(60000) ? 0 : 1;
}
