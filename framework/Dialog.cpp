#include "Dialog.h"

#include "WinApp.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

INT_PTR CDialog::DoModal()
{
    m_bModal = TRUE;
    const HWND hwndParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    const INT_PTR nResult = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), hwndParent,
                                              DialogProc, reinterpret_cast<LPARAM>(this));
    m_bModal = FALSE;
    return nResult;
}

BOOL CDialog::Create(CWnd* pParentWnd)
{
    m_pParentWnd = pParentWnd;
    const HWND hwndParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    return ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), hwndParent, DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int nResult)
{
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else if (!m_bDestroying)
        ::DestroyWindow(m_hWnd);
}

BOOL CDialog::UpdateData()
{
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* /*pDX*/)
{
}

BOOL CDialog::OnInitDialog()
{
    UpdateData();
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData())
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode)
{
    if (CWnd::OnCmdMsg(nID, nCode))
        return TRUE;
    // Commands the dialog does not handle go on to the application object.
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID, nCode);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_INITDIALOG)
    {
        CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        pDialog->m_hWnd = hwnd;
        pDialog->m_bDestroying = FALSE;
        // The size notification of the window's creation came before this
        // procedure was attached; hand it to the table now, as it would have been.
        RECT rcClient;
        ::GetClientRect(hwnd, &rcClient);
        LRESULT lIgnored;
        pDialog->OnWndMsg(WM_SIZE, SIZE_RESTORED, MAKELPARAM(rcClient.right, rcClient.bottom), &lIgnored);
        return pDialog->OnInitDialog();
    }

    CDialog* pDialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (pDialog == nullptr)
        return FALSE;

    if (nMessage == WM_DESTROY)
        pDialog->m_bDestroying = TRUE;
    LRESULT lResult = 0;
    const BOOL bHandled = pDialog->OnWndMsg(nMessage, wParam, lParam, &lResult);
    if (nMessage == WM_NCDESTROY)
    {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    if (!bHandled)
        return FALSE;
    switch (nMessage)
    {
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        // These answers go back directly, not through DWLP_MSGRESULT.
        return static_cast<INT_PTR>(lResult);
    default:
        ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
}
