// Drives the demo: starts the product, clicks "Start Check Routine" as a user
// would, waits for the end of the run, and tells the calling script when the
// dialog can be photographed; then shows the detailed view the same way.
// Usage: demo_driver <exe> <signal folder>. For each step N it writes
// <folder>\stepN.ready and waits for <folder>\stepN.done.
// It reaches the dialog with window messages alone, as another program would,
// so it needs nothing of the tests.
#include "res/resource.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace
{
const char kDialogCaption[] = "QUELM - USB Installation and Communication Check";
const char kStartCaption[] = "Start Check Routine";
// The line that closes the report of every run.
const std::string kRule(70, '=');
const DWORD kOpenWaitMs = 20000;
const DWORD kRunWaitMs = 120000;
const DWORD kPhotographWaitMs = 60000;
const DWORD kClickWaitMs = 60000;
const DWORD kCloseWaitMs = 60000;
const DWORD kMessageWaitMs = 30000;
const DWORD kPollMs = 10;

bool WaitUntil(const std::function<bool()>& done, DWORD dwTimeoutMs)
{
    const DWORD dwStart = ::GetTickCount();
    while (!done())
    {
        if (::GetTickCount() - dwStart >= dwTimeoutMs)
            return false;
        ::Sleep(kPollMs);
    }
    return true;
}

// Across processes GetWindowText gives a control's stored caption only, not
// what it holds: WM_GETTEXT is marshalled.
std::string TextOf(HWND hwnd)
{
    DWORD_PTR dwLength = 0;
    if (!::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kMessageWaitMs, &dwLength))
        return std::string();
    std::string text(dwLength + 1, '\0');
    DWORD_PTR dwCopied = 0;
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL,
                          kMessageWaitMs, &dwCopied);
    text.resize(dwCopied < dwLength ? dwCopied : dwLength);
    return text;
}

struct DialogSearch
{
    DWORD dwProcessId;
    HWND hwndFound;
};

BOOL CALLBACK FindDialogOfProcess(HWND hwnd, LPARAM lParam)
{
    DialogSearch* pSearch = reinterpret_cast<DialogSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hwnd, &dwProcessId);
    if (dwProcessId != pSearch->dwProcessId)
        return TRUE;
    // The stored caption: no message to a process that may be busy starting.
    char szCaption[128] = {};
    ::GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
    if (std::strcmp(szCaption, kDialogCaption) != 0)
        return TRUE;
    pSearch->hwndFound = hwnd;
    return FALSE;
}

// The product's check dialog in a process of its own.
class CDemoDialog
{
public:
    // Starts the program from its own folder and waits until its dialog has
    // placed and captioned its buttons.
    explicit CDemoDialog(const std::string& exe)
    {
        const size_t nSlash = exe.find_last_of("\\/");
        const std::string folder = nSlash == std::string::npos ? std::string() : exe.substr(0, nSlash);
        std::string commandLine = "\"" + exe + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              folder.empty() ? nullptr : folder.c_str(), &startup, &m_process))
        {
            m_process = PROCESS_INFORMATION();
            return;
        }
        WaitUntil(
            [this] {
                DialogSearch search = {m_process.dwProcessId, nullptr};
                ::EnumWindows(FindDialogOfProcess, reinterpret_cast<LPARAM>(&search));
                m_hwndDialog = search.hwndFound;
                return (m_hwndDialog != nullptr && TextOf(Control(IDC_BUTTON_START)) == kStartCaption) || HasEnded(0);
            },
            kOpenWaitMs);
    }

    ~CDemoDialog()
    {
        if (m_process.hProcess == nullptr)
            return;
        if (!HasEnded(0))
            ::PostMessageA(m_hwndDialog, WM_CLOSE, 0, 0);
        if (!HasEnded(kCloseWaitMs))
            ::TerminateProcess(m_process.hProcess, 1);
        ::CloseHandle(m_process.hThread);
        ::CloseHandle(m_process.hProcess);
    }

    CDemoDialog(const CDemoDialog&) = delete;
    CDemoDialog& operator=(const CDemoDialog&) = delete;

    bool Opened() const { return m_hwndDialog != nullptr; }
    HWND Dialog() const { return m_hwndDialog; }
    HWND Control(int nID) const { return ::GetDlgItem(m_hwndDialog, nID); }

    // Returns once the dialog has handled the click.
    void Click(int nID) const
    {
        DWORD_PTR dwIgnored = 0;
        ::SendMessageTimeoutA(Control(nID), BM_CLICK, 0, 0, SMTO_NORMAL, kClickWaitMs, &dwIgnored);
    }

    // The report, paragraphs ended by "\n" whichever end the control gives.
    std::string ReportText() const
    {
        const std::string text = TextOf(Control(IDC_RICHEDIT_LOG));
        std::string lines;
        for (size_t nAt = 0; nAt < text.size(); ++nAt)
        {
            if (text[nAt] != '\r')
                lines += text[nAt];
            else if (nAt + 1 == text.size() || text[nAt + 1] != '\n')
                lines += '\n';
        }
        return lines;
    }

    // Start enabled again and the closing rule in the report.
    bool RunEnded() const
    {
        return ::IsWindowEnabled(Control(IDC_BUTTON_START)) && ReportText().find(kRule) != std::string::npos;
    }

    bool Close() const
    {
        ::PostMessageA(m_hwndDialog, WM_CLOSE, 0, 0);
        return HasEnded(kCloseWaitMs);
    }

private:
    bool HasEnded(DWORD dwTimeoutMs) const
    {
        return ::WaitForSingleObject(m_process.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
    }

    PROCESS_INFORMATION m_process = {};
    HWND m_hwndDialog = nullptr;
};

// Paints the dialog now, then tells the script and waits for its photograph.
bool Signal(const CDemoDialog& dialog, const std::string& folder, int nStep)
{
    ::RedrawWindow(dialog.Dialog(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::string ready = folder + "\\step" + std::to_string(nStep) + ".ready";
    const std::string done = folder + "\\step" + std::to_string(nStep) + ".done";
    const HANDLE hFile = ::CreateFileA(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    return WaitUntil([&] { return ::GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, kPhotographWaitMs);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "usage: demo_driver <exe> <signal folder>\n");
        return 2;
    }
    CDemoDialog dialog(argv[1]);
    if (!dialog.Opened())
    {
        std::fprintf(stderr, "the dialog did not open\n");
        return 1;
    }
    dialog.Click(IDC_BUTTON_START);
    if (!WaitUntil([&] { return dialog.RunEnded(); }, kRunWaitMs))
    {
        std::fprintf(stderr, "the run did not end\n");
        return 1;
    }
    std::printf("%s", dialog.ReportText().c_str());
    if (!Signal(dialog, argv[2], 1))
        return 1;

    dialog.Click(IDC_BUTTON_DETAILS);
    if (!WaitUntil([&] { return dialog.RunEnded(); }, kRunWaitMs))
        return 1;
    std::printf("%s", dialog.ReportText().c_str());
    if (!Signal(dialog, argv[2], 2))
        return 1;
    return dialog.Close() ? 0 : 1;
}
