#include "app/ReportWindow.h"

#include "framework/Afx.h"
#include "report/ReportLog.h"
#include "res/resource.h"

const char kReportWindowClass[] = "UsbInstallationTestReport";

namespace
{
// The check dialog's font: the control's default character format, which the
// saved RTF names, is the one the dialog's report has.
const int kFontPoints = 8;
const char kFontFace[] = "MS Sans Serif";
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
    // As the dialog manager makes a dialog's font.
    const HDC hdc = ::GetDC(nullptr);
    const int nLogPixels = ::GetDeviceCaps(hdc, LOGPIXELSY);
    ::ReleaseDC(nullptr, hdc);
    m_hFont =
        ::CreateFontA(-::MulDiv(kFontPoints, nLogPixels, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_DONTCARE, kFontFace);
    m_richLog.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont), FALSE);
    return ERROR_SUCCESS;
}

DWORD CReportWindow::Run(BOOL bDetailed, RunOutcome& outcome)
{
    m_bDetailed = bDetailed;
    if (!m_runThread.Start(m_hWnd, *this))
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

void CReportWindow::WriteLog(LPCSTR pszText, UINT nKind)
{
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId())
    {
        ::SendMessageA(m_hWnd, WM_APP_WRITE_LOG, nKind, reinterpret_cast<LPARAM>(pszText));
        return;
    }
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
    if (pWindow != nullptr && pWindow->OnMessage(nMessage, wParam, lParam))
        return nMessage == WM_QUERYENDSESSION ? TRUE : 0;
    return ::DefWindowProcA(hwnd, nMessage, wParam, lParam);
}

// TRUE for a message handled here.
BOOL CReportWindow::OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    switch (nMessage)
    {
    case WM_APP_WRITE_LOG:
        WriteLog(reinterpret_cast<LPCSTR>(lParam), static_cast<UINT>(wParam));
        return TRUE;
    case WM_APP_RUN_ENDED:
        RunEnded(m_runThread.TakeBack(wParam));
        return TRUE;
    // A driver call out kDriverCallBoundMs ends the run: its report ends here.
    case WM_TIMER:
        if (wParam == kRunWatchTimer && m_runThread.Watch() == RUN_WATCH_GAVE_UP)
            RunEnded(RUN_GIVEN_UP);
        return TRUE;
    // As taskkill without /F closes a program: the run is cancelled and
    // waited for, and there is no report.
    case WM_CLOSE:
        CancelRunAndWait();
        m_bClosed = TRUE;
        return TRUE;
    // Log-off, shutdown, or an installer's restart is never held up.
    case WM_QUERYENDSESSION:
        return TRUE;
    // Windows may end the process as soon as this returns: the run is
    // cancelled and waited for, and the temporary file goes, here.
    case WM_ENDSESSION:
        if (wParam == FALSE)
            return TRUE;
        CancelRunAndWait();
        m_file.Discard();
        m_bClosed = TRUE;
        return TRUE;
    default:
        return FALSE;
    }
}

void CReportWindow::RunEnded(RunOutcome outcome)
{
    m_outcome = outcome;
    m_bRunEnded = TRUE;
}

// Cancels the run in progress and waits for its thread while carrying out
// the messages it sends; a close that comes during the wait finds it under
// way and returns.
void CReportWindow::CancelRunAndWait()
{
    if (m_bClosing)
        return;
    m_bClosing = TRUE;
    m_runThread.CancelAndWait();
}
