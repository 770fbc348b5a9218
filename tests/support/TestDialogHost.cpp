#include "support/TestDialogHost.h"

#include "res/resource.h"
#include "report/StreamCookie.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"

#include <richedit.h>

#include <algorithm>

namespace
{
// The hosts whose reports are watched, and the one hook that watches them.
std::vector<TestDialogHost*> g_watched;
HHOOK g_hWatch = nullptr;
} // namespace

TestDialogHost::TestDialogHost()
{
    AfxInitRichEdit();
    m_dialog.Create(nullptr);
    m_report.m_hWnd = Report();
    PumpUntil([] { return true; }, 0);
}

TestDialogHost::~TestDialogHost()
{
    if (m_dialog.m_hWnd != nullptr)
        ::DestroyWindow(m_dialog.m_hWnd);
    PumpUntil([] { return false; }, 0);
    const auto it = std::find(g_watched.begin(), g_watched.end(), this);
    if (it == g_watched.end())
        return;
    g_watched.erase(it);
    if (g_watched.empty())
    {
        ::UnhookWindowsHookEx(g_hWatch);
        g_hWatch = nullptr;
    }
}

HWND TestDialogHost::Report() const
{
    return ::GetDlgItem(m_dialog.m_hWnd, IDC_RICHEDIT_LOG);
}

std::string TestDialogHost::ReportText() const
{
    return MaskFooter(NormalizeLineEnds(WindowText(Report())));
}

std::vector<FormattedRun> TestDialogHost::FormattedRuns() const
{
    const HWND hwndLog = Report();
    std::vector<FormattedRun> runs;
    // Character positions count a paragraph end as one character.
    std::string chars(65536, '\0');
    TEXTRANGEA range = {{0, -1}, &chars[0]};
    const int nChars = static_cast<int>(::SendMessageA(hwndLog, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)));
    CHARRANGE crSaved;
    ::SendMessageA(hwndLog, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&crSaved));
    // Each selection change repaints a visible control: drawing stays off
    // while the characters are read.
    const BOOL bVisible = ::IsWindowVisible(hwndLog);
    if (bVisible)
        ::SendMessageA(hwndLog, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < nChars; ++i)
    {
        CHARRANGE cr = {i, i + 1};
        ::SendMessageA(hwndLog, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
        CHARFORMATA cf = {};
        cf.cbSize = sizeof(cf);
        ::SendMessageA(hwndLog, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
        const bool bBold = (cf.dwEffects & CFE_BOLD) != 0;
        // A "\r\n" inside a message is one paragraph end, as in ReportText().
        const char ch = chars[static_cast<size_t>(i)];
        if (ch == '\n' && i > 0 && chars[static_cast<size_t>(i) - 1] == '\r')
            continue;
        if (runs.empty() || runs.back().crColor != cf.crTextColor || runs.back().bBold != bBold)
            runs.push_back({std::string(), cf.crTextColor, bBold});
        runs.back().text += ch == '\r' ? '\n' : ch;
    }
    ::SendMessageA(hwndLog, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&crSaved));
    if (bVisible)
    {
        ::SendMessageA(hwndLog, WM_SETREDRAW, TRUE, 0);
        ::InvalidateRect(hwndLog, nullptr, TRUE);
    }
    return runs;
}

namespace
{
void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

struct WorkerJob
{
    const std::function<DWORD()>* pFn;
    DWORD dwResult;
};

DWORD WINAPI WorkerJobProc(LPVOID pParam)
{
    WorkerJob* pJob = static_cast<WorkerJob*>(pParam);
    pJob->dwResult = (*pJob->pFn)();
    return 0;
}
} // namespace

DWORD TestDialogHost::RunOnWorker(const std::function<DWORD()>& fn)
{
    WorkerJob job = {&fn, 0};
    const HANDLE hThread = ::CreateThread(nullptr, 0, WorkerJobProc, &job, 0, nullptr);
    if (hThread == nullptr)
        return 0xFFFFFFFF;
    while (::MsgWaitForMultipleObjects(1, &hThread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpMessages();
    ::CloseHandle(hThread);
    return job.dwResult;
}

bool TestDialogHost::PumpUntil(const std::function<bool()>& pred, DWORD dwTimeoutMs)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        PumpMessages();
        if (pred())
            return true;
        const DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwTimeoutMs - dwElapsed < 50 ? dwTimeoutMs - dwElapsed : 50,
                                    QS_ALLINPUT);
    }
}

bool TestDialogHost::StartAndWaitForEnd(DWORD dwTimeoutMs)
{
    Click(IDC_BUTTON_START);
    return PumpUntil([this] { return IsEnabled(IDC_BUTTON_START); }, dwTimeoutMs);
}

bool TestDialogHost::SetDetailed(bool bDetailed)
{
    if ((Caption(IDC_BUTTON_DETAILS) == "<< Simple") == bDetailed)
        return true;
    DeviceTableOverride table({});
    Click(IDC_BUTTON_DETAILS);
    const bool bEnded = PumpUntil([this] { return IsEnabled(IDC_BUTTON_START); });
    ClearReport();
    return bEnded;
}

void TestDialogHost::RecordWrites()
{
    m_bRecording = true;
    Watch();
}

void TestDialogHost::Watch()
{
    if (std::find(g_watched.begin(), g_watched.end(), this) != g_watched.end())
        return;
    // Every report write is a message sent to this thread; the hook sees it
    // before the control does, while the check thread waits for it.
    if (g_watched.empty())
        g_hWatch = ::SetWindowsHookExA(WH_CALLWNDPROC, WatchReport, nullptr, ::GetCurrentThreadId());
    g_watched.push_back(this);
}

LRESULT CALLBACK TestDialogHost::WatchReport(int nCode, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* pMessage = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMessage->message == EM_STREAMIN)
    {
        const EDITSTREAM* pStream = reinterpret_cast<const EDITSTREAM*>(pMessage->lParam);
        const StreamCookie* pCookie = reinterpret_cast<const StreamCookie*>(pStream->dwCookie);
        for (TestDialogHost* pHost : g_watched)
        {
            if (pMessage->hwnd != pHost->Report() || pCookie == nullptr || pCookie->bFile)
                continue;
            if (pHost->m_bRecording)
                pHost->m_written += pCookie->pszSource;
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
