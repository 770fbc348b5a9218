// The device search and the communication test on a loaded driver library:
// every connected device is opened, its EEPROM identity read, sent the
// identification request, and its answer shown with the time the first
// characters took.
#pragma once

#include "device/DriverCallWatch.h"
#include "framework/String.h"
#include "report/ReportWriter.h"

#include <atomic>

class CAnswerClock;

class CDeviceCommunication
{
public:
    // The answer's notification is an event of the test's own; hCancelEvent
    // ends a wait for it, and bCancel, set with it, the test before the next
    // device.
    CDeviceCommunication(CReportWriter& report, const WATCHED_ENTRY_POINTS& driver, HANDLE hCancelEvent,
                         const std::atomic<BOOL>& bCancel);
    ~CDeviceCommunication();
    CDeviceCommunication(const CDeviceCommunication&) = delete;
    CDeviceCommunication& operator=(const CDeviceCommunication&) = delete;

    // Counts the connected devices: OK when there is one at least.
    CheckResult SearchDevices();
    // Tests each device the search counted: each is opened by its serial
    // number; one whose serial number an earlier device had cannot be told
    // apart from it and is not tested. The worst device's result, so that a
    // later "OK" does not hide an earlier failure; a Warning, with nothing
    // written, when there was no device to test.
    CheckResult CheckCommunication();
    // After the pause for the rest of the answer: what the driver holds,
    // without its line end.
    FT_STATUS ReceiveResponse(FT_HANDLE hDevice, CString& response);

private:
    CheckResult CountDevices();
    CheckResult TestDevice(const CString& serialNumber, const LARGE_INTEGER& frequency);
    FT_STATUS ReadIdentity(FT_HANDLE hDevice);
    FT_STATUS SendRequest(FT_HANDLE hDevice, CAnswerClock& clock);
    CheckResult AwaitAnswer(FT_HANDLE hDevice, const CAnswerClock& clock, const LARGE_INTEGER& frequency);
    CheckResult WriteCommunicationResult(const CheckResult& result);

    CReportWriter& m_report;
    const WATCHED_ENTRY_POINTS m_ft;
    const HANDLE m_hRxEvent;
    const HANDLE m_hCancelEvent;
    const std::atomic<BOOL>& m_bCancel;
    DWORD m_nDevices = 0;
};
