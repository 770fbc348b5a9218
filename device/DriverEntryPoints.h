// The eight driver functions, bound by name when the driver library is loaded.
#pragma once

#include "device/D2xx.h"

struct DRIVER_ENTRY_POINTS
{
    PFN_FT_ListDevices FT_ListDevices;
    PFN_FT_OpenEx FT_OpenEx;
    PFN_FT_Close FT_Close;
    PFN_FT_GetQueueStatus FT_GetQueueStatus;
    PFN_FT_Read FT_Read;
    PFN_FT_Write FT_Write;
    PFN_FT_EE_Read FT_EE_Read;
    PFN_FT_SetEventNotification FT_SetEventNotification;
};
