#include "device/StatusText.h"

namespace
{
// Indexed by the driver's status code.
const LPCSTR kStatusTexts[] = {
    "The operation completed successfully.",
    "The handle is invalid.",
    "The system cannot find the device specified.",
    "The specified device has not been opened.",
    "The request could not be performed because of an I/O device error.",
    "The request could not be performed because of insufficient resources.",
    "The parameter is incorrect.",
    "The baud rate is incorrect.",
    "The device was not opened to erase data from.",
    "The device was not opened to write data to.",
    "The system cannot write to the specified device.",
    "The system cannot read from the EEPROM of the specified device.",
    "The system cannot write to the EEPROM of the specified device.",
    "The system cannot erase the EEPROM of the specified device.",
    "The system could not found the EEPROM of the device.",
    "The EEPROM of the device is not programmed.",
    "The arguments are incorrect.",
    "The request is not supported.",
    "The operation finished with an unknown error.",
};
} // namespace

CString GetStatusText(FT_STATUS status)
{
    if (status < ARRAYSIZE(kStatusTexts))
        return kStatusTexts[status];
    // A newer driver's status, or a broken one: its number is all the report can tell.
    CString text;
    text.Format("Unknown status %lu (0x%08lX)", status, status);
    return text;
}
