// The application object: it runs the check dialog and ends with it.
#pragma once

#include "framework/Afx.h"

class CUsbInstallationTestApp : public CWinApp
{
public:
    CUsbInstallationTestApp();
    ~CUsbInstallationTestApp() override;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
