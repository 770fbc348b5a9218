// The application object: one global instance, started by WinMain.
#pragma once

#include "CmdTarget.h"
#include "Wnd.h"

const UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget
{
public:
    explicit CWinApp(LPCSTR pszAppName = nullptr);
    ~CWinApp() override;

    // FALSE ends the application without a message loop of its own.
    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();

    // The 3-D control look is the system's own since Windows 95.
    BOOL Enable3dControlsStatic() { return TRUE; }

    void OnHelp();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// Loads "RICHED32.DLL" from the system directory; it provides the "RICHEDIT"
// window class.
BOOL AfxInitRichEdit();
