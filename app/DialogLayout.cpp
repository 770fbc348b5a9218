// The check dialog's look: control placement, the size rule and the minimized icon.
#include "app/DialogLayout.h"

#include "app/UsbInstallationTestDlg.h"
#include "framework/SystemCalls.h"

#include <algorithm>

namespace
{
// The layout's figures in pixels at 96 DPI; Scaled() gives them at the screen's.
const int kDesignDpi = 96;
const int kClientWidth = 500;
const int kMinClientHeight = 300;
const int kReportX = 12;
const int kReportY = 13;
const int kReportMarginX = 24; // left and right together
const int kButtonHeight = 23;
const int kButtonRowOffset = 40; // button row above the client bottom
const int kReportMarginBottom = 80;
// Where the work area is lower than the size rule's minimum, the report gives
// way down to this height; the buttons keep theirs.
const int kMinReportHeight = 20;
const int kReportFontPoints = 8;
const char kReportFontFace[] = "MS Shell Dlg";

// The layout grows with the dialog's font.
int Scaled(int nPixelsAt96Dpi)
{
    return ::MulDiv(nPixelsAt96Dpi, ScreenDpi(), kDesignDpi);
}

const UINT kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_CENTER | BS_VCENTER;

// The size rule's minimum client height; where the work area of the window's
// screen is lower (200 % on a screen 768 pixels high, say), the height that
// fits it. nNonClientHeight: the window's height less its client area's.
int MinClientHeight(HWND hwnd, int nNonClientHeight)
{
    int nHeight = Scaled(kMinClientHeight);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (g_SystemCalls.GetMonitorInfoA(::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor))
        nHeight = std::min(nHeight, static_cast<int>(monitor.rcWork.bottom - monitor.rcWork.top) - nNonClientHeight);
    return std::max(nHeight, Scaled(kReportMarginBottom + kMinReportHeight));
}
} // namespace

int ScreenDpi()
{
    static const int nDpi = [] {
        const HDC hdc = ::GetDC(nullptr);
        const int nLogPixels = hdc != nullptr ? ::GetDeviceCaps(hdc, LOGPIXELSY) : 0;
        if (hdc != nullptr)
            ::ReleaseDC(nullptr, hdc);
        return nLogPixels > 0 ? nLogPixels : kDesignDpi;
    }();
    return nDpi;
}

HFONT CreateReportFont()
{
    return ::CreateFontA(-::MulDiv(kReportFontPoints, ScreenDpi(), 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FF_DONTCARE,
                         kReportFontFace);
}

struct CUsbInstallationTestDlg::ButtonPlacement
{
    CButton CUsbInstallationTestDlg::*pButton;
    LPCSTR pszCaption;
    UINT nStyle;
    int x;
    int nWidth;
    BOOL bEnabled;
};

const CUsbInstallationTestDlg::ButtonPlacement CUsbInstallationTestDlg::kButtons[] = {
    {&CUsbInstallationTestDlg::m_btnStart, "Start Check Routine", kButtonStyle | BS_DEFPUSHBUTTON, 20, 120, TRUE},
    {&CUsbInstallationTestDlg::m_btnDetails, "Details >>", kButtonStyle | BS_PUSHBUTTON, 170, 75, FALSE},
    {&CUsbInstallationTestDlg::m_btnSave, "Save Informations", kButtonStyle | BS_PUSHBUTTON, 265, 110, FALSE},
    {&CUsbInstallationTestDlg::m_btnExit, "Exit", kButtonStyle | BS_PUSHBUTTON, 405, 75, TRUE},
};

BOOL CUsbInstallationTestDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    RECT rcClient;
    GetClientRect(&rcClient);
    const int nWidth = rcClient.right;
    const int nHeight = rcClient.bottom;

    m_hReportFont = CreateReportFont();
    m_richLog.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hReportFont), FALSE);
    m_richLog.MoveWindow(Scaled(kReportX), Scaled(kReportY), nWidth - Scaled(kReportMarginX),
                         nHeight - Scaled(kReportMarginBottom), TRUE);
    m_richLog.EnableWindow(TRUE);
    m_reportPainting.Attach(m_hWnd, m_richLog.m_hWnd);

    // The first layout leaves the dialog frame's height below the row; the
    // size rule later places it at cy - 40 without it, but a restore gives
    // this row back.
    const int y = nHeight - ::GetSystemMetrics(SM_CYDLGFRAME) - Scaled(kButtonRowOffset);
    m_nRestoredHeight = nHeight;
    m_yRestoredRow = y;
    for (const ButtonPlacement& placement : kButtons)
    {
        CButton& button = this->*placement.pButton;
        button.SetWindowText(placement.pszCaption);
        button.SetButtonStyle(placement.nStyle, TRUE);
        button.MoveWindow(Scaled(placement.x), y, Scaled(placement.nWidth), Scaled(kButtonHeight), TRUE);
        button.EnableWindow(placement.bEnabled);
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hSmallIcon, FALSE);
    return TRUE;
}

void CUsbInstallationTestDlg::OnSize(UINT nType, int cx, int cy)
{
    // A minimized window reports a zero client size; enlarging it would only
    // start a chain of notifications. Restoring brings back the size it had.
    if (nType == SIZE_MINIMIZED)
    {
        m_nLastSizeType = nType;
        CDialog::OnSize(nType, cx, cy);
        return;
    }

    RECT rcWindow;
    GetWindowRect(&rcWindow);
    const int nClientWidth = Scaled(kClientWidth);
    const int nMinClientHeight = MinClientHeight(m_hWnd, (rcWindow.bottom - rcWindow.top) - cy);
    if (cx != nClientWidth || cy < nMinClientHeight)
    {
        const int nExtraHeight = cy < nMinClientHeight ? nMinClientHeight - cy : 0;
        MoveWindow(rcWindow.left, rcWindow.top, (rcWindow.right - rcWindow.left) - cx + nClientWidth,
                   (rcWindow.bottom - rcWindow.top) + nExtraHeight, TRUE);
        // Moved inside a maximize, the buttons are placed before the system
        // has finished with the window, and would stay undrawn.
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return;
    }

    CDialog::OnSize(nType, cx, cy);

    // A restore gives back the row that the window had at this height, the
    // first layout's too.
    const BOOL bRestore = nType == SIZE_RESTORED &&
                          (m_nLastSizeType == SIZE_MAXIMIZED || m_nLastSizeType == SIZE_MINIMIZED) &&
                          cy == m_nRestoredHeight;
    const int y = bRestore ? m_yRestoredRow : cy - Scaled(kButtonRowOffset);
    m_nLastSizeType = nType;
    if (nType == SIZE_RESTORED)
    {
        m_nRestoredHeight = cy;
        m_yRestoredRow = y;
    }

    if (m_richLog.GetSafeHwnd() != nullptr)
    {
        m_richLog.MoveWindow(Scaled(kReportX), Scaled(kReportY), nClientWidth - Scaled(kReportMarginX),
                             cy - Scaled(kReportMarginBottom), TRUE);
    }
    for (const ButtonPlacement& placement : kButtons)
    {
        CButton& button = this->*placement.pButton;
        if (button.GetSafeHwnd() != nullptr)
            button.MoveWindow(Scaled(placement.x), y, Scaled(placement.nWidth), Scaled(kButtonHeight), TRUE);
    }
}

void CUsbInstallationTestDlg::OnPaint()
{
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    if (!IsIconic())
    {
        CDialog::OnPaint();
        return;
    }

    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT rcClient;
    GetClientRect(&rcClient);
    const int x = (rcClient.right - cxIcon + 1) / 2;
    const int y = (rcClient.bottom - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

// The cursor shown while the minimized window is dragged.
HCURSOR CUsbInstallationTestDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}
