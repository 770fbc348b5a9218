#include "app/ReportWindow.h"

#include "app/DialogLayout.h"
#include "framework/Afx.h"
#include "report/ReportLog.h"
#include "res/resource.h"

const char kReportWindowClass[] = "UsbInstallationTestReport";

namespace
{
const UINT kReportStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                          ES_AUTOHSCROLL | ES_READONLY;
} // namespace

CReportWindow::~CReportWindow()
{
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
    if (m_hFont != nullptr)
        ::DeleteObject(m_hFont);
}

DWORD CReportWindow::Create()
{
    const HINSTANCE hInstance = AfxGetInstanceHandle();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kReportWindowClass;
    if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return LastErrorOr(ERROR_CANNOT_FIND_WND_CLASS);
    // Disabled as well as hidden: nothing can activate it and take the
    // keyboard from the window the user works in.
    m_hWnd = ::CreateWindowExA(0, kReportWindowClass, "", WS_POPUP | WS_DISABLED, 0, 0, 500, 400, nullptr, nullptr,
                               hInstance, this);
    if (m_hWnd == nullptr)
        return LastErrorOr(ERROR_CANNOT_FIND_WND_CLASS);
    m_richLog.m_hWnd =
        ::CreateWindowExA(0, "RICHEDIT", "", kReportStyle, 0, 0, 476, 320, m_hWnd,
                          reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_RICHEDIT_LOG)), hInstance, nullptr);
    if (m_richLog.m_hWnd == nullptr)
        return LastErrorOr(ERROR_CANNOT_FIND_WND_CLASS);
    // The dialog's report font: the control's default character format,
    // which the saved RTF names, is the one the dialog's report has.
    m_hFont = CreateReportFont();
    m_richLog.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    return ERROR_SUCCESS;
}

DWORD CReportWindow::Run(BOOL bDetailed, RunOutcome& outcome)
{
    m_bDetailed = bDetailed;
    if (!StartRun())
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    // The run's report writes and its end are messages sent to this thread.
    while (!m_bRunEnded && !m_bClosed)
    {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (!m_bRunEnded && !m_bClosed)
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
    outcome = m_outcome;
    return m_bClosed ? ERROR_CANCELLED : ERROR_SUCCESS;
}

void CReportWindow::OnWriteLog(LPCSTR pszText, UINT nKind)
{
    AppendReportLine(m_richLog, pszText, nKind, m_bDetailed);
}

LRESULT CALLBACK CReportWindow::WindowProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_NCCREATE)
    {
        const CREATESTRUCTA* pCreate = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
    }
    CReportWindow* pWindow = reinterpret_cast<CReportWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    LRESULT lResult = 0;
    if (pWindow != nullptr && pWindow->OnRunMessage(nMessage, wParam, lParam, &lResult))
        return lResult;
    // As taskkill without /F closes a program: the run is cancelled and
    // waited for, and there is no report.
    if (pWindow != nullptr && nMessage == WM_CLOSE)
    {
        pWindow->CancelRunAndWait();
        pWindow->m_bClosed = TRUE;
        return 0;
    }
    return ::DefWindowProcA(hwnd, nMessage, wParam, lParam);
}

void CReportWindow::OnRunEnded(RunOutcome outcome)
{
    m_outcome = outcome;
    m_bRunEnded = TRUE;
}

// The temporary file goes here, before the run's end is waited for: Windows
// may end the process once the session's end has been handled.
void CReportWindow::OnEndSession()
{
    m_file.Discard();
    m_bClosed = TRUE;
}
