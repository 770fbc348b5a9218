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
    // The program's own libraries are loaded by full path; those that they
    // and the system load by name come from the system directory.
    RestrictLibrarySearch();
    // "/report FILE [/simple]": the report without the dialog.
    const ReportCommand command = ParseReportCommand(::GetCommandLineW());
    // No system message box ("cannot find component", "insert a disk") may
    // stop a check in either mode: the call fails and the report says why.
    // Without the dialog nobody is there to answer a crash's box either: the
    // process ends instead.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | (command.bReport ? SEM_NOGPFAULTERRORBOX : 0));

    Enable3dControlsStatic();
    AfxInitRichEdit();

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
    // A driver call that was given up on is still out: a normal end would
    // tell its library to detach under it, which may wait for the call for ever.
    if (CRunThread::GivenUpCallsOut() > 0)
        ::TerminateProcess(::GetCurrentProcess(), m_dwExitCode);
    return static_cast<int>(m_dwExitCode);
}
