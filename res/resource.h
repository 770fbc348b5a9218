// Resource and control IDs.
#pragma once

#define IDD_USBINSTALLATIONTEST_DIALOG 102
#define IDR_MAINFRAME                  128
#define IDI_LARGE_ICON                 129
#define IDC_BUTTON_START               1004
#define IDC_RICHEDIT_LOG               1006
#define IDC_BUTTON_SAVE                1008
#define IDC_BUTTON_DETAILS             1009
