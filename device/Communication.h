// The device search and the communication test on a loaded driver library:
// every connected device is opened, its EEPROM identity read, sent the
// identification request, and its answer shown with the time the first
// characters took.
#pragma once

#include "device/DriverCallWatch.h"
#include "framework/String.h"
#include "report/ReportWriter.h"

#include <atomic>

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
    // The answer's notification is hRxEvent; hCancelEvent ends a wait for it,
    // and bCancel, set with it, the test before the next device. nDevices is
    // the count SearchDevices finds and CheckCommunication tests.
    CDeviceCommunication(CReportWriter& report, const WATCHED_ENTRY_POINTS& driver, HANDLE hRxEvent,
                         HANDLE hCancelEvent, const std::atomic<BOOL>& bCancel, DWORD& nDevices);

    int SearchDevices();
    // Each device is opened by its serial number; one whose serial number an
    // earlier device had cannot be told apart from it and is not tested. The
    // result of the last device that failed, so that a later "OK" does not
    // hide an earlier failure.
    DWORD CheckCommunication();
    // After the pause for the rest of the answer: what the driver holds,
    // without its line end.
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response);

private:
    struct DeviceOutcome;

    FT_STATUS ReadIdentity(FT_HANDLE hDevice);
    FT_STATUS SendRequest(FT_HANDLE hDevice, CAnswerClock& clock);
    DeviceOutcome AwaitAnswer(FT_HANDLE hDevice, const CAnswerClock& clock, const LARGE_INTEGER& frequency);
    DeviceOutcome TestDevice(const CString& serialNumber, const LARGE_INTEGER& frequency);
    DWORD WriteDeviceResult(const DeviceOutcome& outcome);
    DWORD WriteNotToldApart(const CString& serialNumber);

    CReportWriter& m_report;
    const WATCHED_ENTRY_POINTS m_ft;
    HANDLE m_hRxEvent;
    HANDLE m_hCancelEvent;
    const std::atomic<BOOL>& m_bCancel;
    DWORD& m_nDevices;
};
