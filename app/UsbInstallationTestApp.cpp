#include "app/UsbInstallationTestApp.h"

#include "app/ReportCommand.h"
#include "app/UsbInstallationTestDlg.h"

BEGIN_MESSAGE_MAP(CUsbInstallationTestApp, CWinApp)
    ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

CUsbInstallationTestApp theApp;

CUsbInstallationTestApp::CUsbInstallationTestApp() : CWinApp(nullptr)
{
}

CUsbInstallationTestApp::~CUsbInstallationTestApp() = default;

BOOL CUsbInstallationTestApp::InitInstance()
{
    // The driver library is loaded by its bare name: take the current directory
    // out of the search so that a library planted there is never run. The
    // system directory as the extra path keeps the rest of the order.
    char szSystemDir[MAX_PATH];
    const UINT nLength = ::GetSystemDirectoryA(szSystemDir, MAX_PATH);
    if (nLength != 0 && nLength < MAX_PATH)
        ::SetDllDirectoryA(szSystemDir);

    Enable3dControlsStatic();
    AfxInitRichEdit();

    // "/report FILE [/simple]": the report without the dialog.
    const ReportCommand command = ParseReportCommand(::GetCommandLineW());
    if (command.bReport)
    {
        m_dwExitCode = RunReportCommand(command);
        return FALSE;
    }

    CUsbInstallationTestDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    // Ends the application instead of entering a message loop of its own.
    return FALSE;
}

int CUsbInstallationTestApp::ExitInstance()
{
    return static_cast<int>(m_dwExitCode);
}
