// A dialog built from a template resource. The object travels to the dialog
// procedure through the creation parameter and is stored at WM_INITDIALOG;
// one static dialog procedure forwards every message to the object's table.
#pragma once

#include "DataExchange.h"
#include "Wnd.h"

class CDialog : public CWnd
{
    DECLARE_DYNAMIC(CDialog)

public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    virtual INT_PTR DoModal();
    // Modeless creation, for hosting the dialog inside another program's loop.
    BOOL Create(CWnd* pParentWnd = nullptr);
    void EndDialog(int nResult);
    // Moves the focus as the dialog manager does, default button included.
    void GotoDlgCtl(const CWnd& wndCtrl) { SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(wndCtrl.m_hWnd), TRUE); }
    // Binds the controls; there is no data to move in either direction.
    BOOL UpdateData();

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    BOOL OnCmdMsg(UINT nID, int nCode) override;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam);

    BOOL m_bModal = FALSE;
    // From WM_DESTROY on: a close that comes while the window is being
    // destroyed (sent during a wait in OnDestroy) must not destroy it again
    // under that wait.
    BOOL m_bDestroying = FALSE;
};
