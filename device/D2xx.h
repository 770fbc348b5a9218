// Our own declarations of the driver library's interface, written from its
// published calling facts: every function is __stdcall and exported under its
// plain name, a status is a 32-bit unsigned value and a device handle a pointer.
#pragma once

#include <windows.h>

#include <cstddef>

typedef ULONG FT_STATUS;
typedef PVOID FT_HANDLE;

enum : FT_STATUS
{
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

const DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
const DWORD FT_LIST_BY_INDEX = 0x40000000;
const DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
const DWORD FT_OPEN_BY_DESCRIPTION = 2;
const DWORD FT_EVENT_RXCHAR = 1;

// The EEPROM record up to the revision-4 fields. Newer drivers append fields
// behind USBVersion, so the record carries a zeroed reserve that such a driver
// may write into without reaching past the caller's memory.
struct FT_PROGRAM_DATA
{
    DWORD Signature1;
    DWORD Signature2;
    DWORD Version;
    WORD VendorId;
    WORD ProductId;
    char* Manufacturer;
    char* ManufacturerId;
    char* Description;
    char* SerialNumber;
    WORD MaxPower;
    WORD PnP;
    WORD SelfPowered;
    WORD RemoteWakeup;
    UCHAR Rev4;
    UCHAR IsoIn;
    UCHAR IsoOut;
    UCHAR PullDownEnable;
    UCHAR SerNumEnable;
    UCHAR USBVersionEnable;
    WORD USBVersion;
    BYTE Reserved[512];
};

// The driver lays the record out with natural alignment: the four text
// pointers take 4 bytes each in a 32-bit process and 8 in a 64-bit one, and
// the fields behind them move with them.
static_assert(offsetof(FT_PROGRAM_DATA, Manufacturer) == 16, "EEPROM record: texts start at 16");
static_assert(offsetof(FT_PROGRAM_DATA, SerialNumber) == (sizeof(void*) == 8 ? 40 : 28),
              "EEPROM record: SerialNumber moved");
static_assert(offsetof(FT_PROGRAM_DATA, MaxPower) == (sizeof(void*) == 8 ? 48 : 32), "EEPROM record: MaxPower moved");
static_assert(offsetof(FT_PROGRAM_DATA, USBVersion) == (sizeof(void*) == 8 ? 62 : 46),
              "EEPROM record: USBVersion moved");
static_assert(offsetof(FT_PROGRAM_DATA, Reserved) == (sizeof(void*) == 8 ? 64 : 48),
              "EEPROM record: the reserve moved");

typedef FT_STATUS(WINAPI* PFN_FT_ListDevices)(PVOID pArg1, PVOID pArg2, DWORD dwFlags);
typedef FT_STATUS(WINAPI* PFN_FT_OpenEx)(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle);
typedef FT_STATUS(WINAPI* PFN_FT_Close)(FT_HANDLE hDevice);
typedef FT_STATUS(WINAPI* PFN_FT_GetQueueStatus)(FT_HANDLE hDevice, DWORD* pdwRxBytes);
typedef FT_STATUS(WINAPI* PFN_FT_Read)(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned);
typedef FT_STATUS(WINAPI* PFN_FT_Write)(FT_HANDLE hDevice, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten);
typedef FT_STATUS(WINAPI* PFN_FT_EE_Read)(FT_HANDLE hDevice, FT_PROGRAM_DATA* pData);
typedef FT_STATUS(WINAPI* PFN_FT_SetEventNotification)(FT_HANDLE hDevice, DWORD dwEventMask, PVOID pParam);
