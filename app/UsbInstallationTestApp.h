// The application object: it runs the check dialog and ends with it, or,
// for "/report FILE", writes the report without showing the dialog.
#pragma once

#include "framework/Afx.h"

class CUsbInstallationTestApp : public CWinApp
{
public:
    CUsbInstallationTestApp();
    ~CUsbInstallationTestApp() override;

    BOOL InitInstance() override;
    // The process's exit code: 0 after the dialog, the report command's otherwise.
    int ExitInstance() override;

    DECLARE_MESSAGE_MAP()

private:
    DWORD m_dwExitCode = 0;
};
