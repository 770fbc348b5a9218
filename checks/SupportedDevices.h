// The devices the check knows, compiled in.
#pragma once

#include <windows.h>

struct DEVICE_INFO
{
    int nVendorId;           // negative: no registry checks for this entry
    int nProductId;          // negative: no registry checks for this entry
    LPCSTR pszDriverLibrary; // null: no driver and communication checks
    LPCSTR pszUninstaller;
    LPCSTR pszUninstallIni;
};

extern const DEVICE_INFO g_SupportedDevices[1];

// The table the checks read: g_SupportedDevices, unless a test points it at
// a table of its own.
struct DeviceTable
{
    const DEVICE_INFO* pEntries;
    UINT nEntries;
};

extern DeviceTable g_DeviceTable;
