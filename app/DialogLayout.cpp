// The check dialog's look: control placement, the size rule and the minimized icon.
#include "app/UsbInstallationTestDlg.h"

namespace
{
const int kClientWidth = 500;
const int kMinClientHeight = 300;
const int kButtonHeight = 23;
const int kButtonRowOffset = 40; // button row above the client bottom
const int kReportMarginBottom = 80;

struct ButtonPlacement
{
    CButton CUsbInstallationTestDlg::*pButton;
    LPCSTR pszCaption;
    UINT nStyle;
    int x;
    int nWidth;
    BOOL bEnabled;
};

const UINT kButtonStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_CENTER | BS_VCENTER;

const ButtonPlacement kButtons[] = {
    {&CUsbInstallationTestDlg::m_btnStart, "Start Check Routine", kButtonStyle | BS_DEFPUSHBUTTON, 20, 120, TRUE},
    {&CUsbInstallationTestDlg::m_btnDetails, "Details >>", kButtonStyle | BS_PUSHBUTTON, 170, 75, FALSE},
    {&CUsbInstallationTestDlg::m_btnSave, "Save Informations", kButtonStyle | BS_PUSHBUTTON, 265, 110, FALSE},
    {&CUsbInstallationTestDlg::m_btnExit, "Exit", kButtonStyle | BS_PUSHBUTTON, 405, 75, TRUE},
};
} // namespace

BOOL CUsbInstallationTestDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    RECT rcClient;
    GetClientRect(&rcClient);
    const int nWidth = rcClient.right;
    const int nHeight = rcClient.bottom;

    m_richLog.MoveWindow(12, 13, nWidth - 24, nHeight - kReportMarginBottom, TRUE);
    m_richLog.EnableWindow(TRUE);

    // The first layout leaves the dialog frame's height below the row; the
    // size rule later places it at cy - 40 without it.
    const int y = nHeight - ::GetSystemMetrics(SM_CYDLGFRAME) - kButtonRowOffset;
    for (const ButtonPlacement& placement : kButtons)
    {
        CButton& button = this->*placement.pButton;
        button.SetWindowText(placement.pszCaption);
        button.SetButtonStyle(placement.nStyle, TRUE);
        button.MoveWindow(placement.x, y, placement.nWidth, kButtonHeight, TRUE);
        button.EnableWindow(placement.bEnabled);
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    return TRUE;
}

void CUsbInstallationTestDlg::OnSize(UINT nType, int cx, int cy)
{
    // A minimized window reports a zero client size; enlarging it would only
    // start a chain of notifications. Restoring brings back the size it had.
    if (nType == SIZE_MINIMIZED)
    {
        CDialog::OnSize(nType, cx, cy);
        return;
    }

    if (cx != kClientWidth || cy < kMinClientHeight)
    {
        RECT rcWindow;
        GetWindowRect(&rcWindow);
        const int nExtraHeight = cy < kMinClientHeight ? kMinClientHeight - cy : 0;
        MoveWindow(rcWindow.left, rcWindow.top, (rcWindow.right - rcWindow.left) - cx + kClientWidth,
                   (rcWindow.bottom - rcWindow.top) + nExtraHeight, TRUE);
        return;
    }

    CDialog::OnSize(nType, cx, cy);

    if (m_richLog.GetSafeHwnd() != nullptr)
        m_richLog.MoveWindow(12, 13, 476, cy - kReportMarginBottom, TRUE);
    for (const ButtonPlacement& placement : kButtons)
    {
        CButton& button = this->*placement.pButton;
        if (button.GetSafeHwnd() != nullptr)
            button.MoveWindow(placement.x, cy - kButtonRowOffset, placement.nWidth, kButtonHeight, TRUE);
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
