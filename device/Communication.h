// The device search and the communication test on a loaded driver library:
// every connected device is opened, its EEPROM identity read, sent the
// identification request, and its answer shown with the time the first
// characters took.
#pragma once

#include "device/DriverEntryPoints.h"
#include "framework/String.h"
#include "report/ReportWriter.h"

// SearchDevices' results.
const int SEARCH_DEVICES_FOUND = 0;
const int SEARCH_FAILED = 1;
const int SEARCH_NO_DEVICE = 2;
// CheckCommunication's result when a device gave a warning or the test could
// not be made, with no system error code to tell; otherwise 0, or the system
// error code of a failed wait.
const DWORD COMMUNICATION_FAILED = 1;

class CAnswerClock;

class CDeviceCommunication
{
public:
    // The answer's notification is hRxEvent; hCancelEvent ends a wait for it.
    // nDevices is the count SearchDevices finds and CheckCommunication tests.
    CDeviceCommunication(CReportWriter& report, const DRIVER_ENTRY_POINTS& entryPoints, HANDLE hRxEvent,
                         HANDLE hCancelEvent, DWORD& nDevices);

    int SearchDevices();
    // The result of the last device that failed, so that a later "OK" does
    // not hide an earlier failure.
    DWORD CheckCommunication();
    // After the pause for the rest of the answer: what the driver holds,
    // without its line end.
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response);

private:
    struct DeviceOutcome;

    FT_STATUS ReadIdentity(FT_HANDLE hDevice);
    FT_STATUS SendRequest(FT_HANDLE hDevice, CAnswerClock& clock);
    DeviceOutcome AwaitAnswer(FT_HANDLE hDevice, const CAnswerClock& clock, const LARGE_INTEGER& frequency);
    DeviceOutcome TestDevice(const CString& description, const LARGE_INTEGER& frequency);
    DWORD WriteDeviceResult(const DeviceOutcome& outcome);

    CReportWriter& m_report;
    const DRIVER_ENTRY_POINTS& m_ft;
    HANDLE m_hRxEvent;
    HANDLE m_hCancelEvent;
    DWORD& m_nDevices;
};
