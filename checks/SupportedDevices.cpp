#include "checks/SupportedDevices.h"

const DEVICE_INFO g_SupportedDevices[1] = {
    {0x0403, 0xB7E4, "KT480_D2XX.DLL", "KT480_UNIN.EXE", "KT480_D2XXUN.INI"},
};

DeviceTable g_DeviceTable = {g_SupportedDevices, ARRAYSIZE(g_SupportedDevices)};
