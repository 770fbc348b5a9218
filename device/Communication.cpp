#include "device/Communication.h"

#include "device/AnswerClock.h"
#include "device/StatusText.h"
#include "framework/SystemCalls.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{
const char kRequest[] = "*IDN?;";
const DWORD kRequestLength = 7;   // the request and its line end
const DWORD kResponseWait = 2000; // ms for the first characters
const DWORD kReceivePause = 200;  // ms before the answer is read
const DWORD kMaxRead = 254;
const DWORD kListedTextSize = 260; // a description or serial number listed by index

// The driver's texts are not trusted to end within their buffers.
template <size_t N>
CString BoundedText(const char (&buffer)[N])
{
    return CString(buffer, static_cast<int>(strnlen(buffer, N)));
}
} // namespace

// What one device's test found; its result line follows from it.
struct CDeviceCommunication::DeviceOutcome
{
    FT_STATUS status = FT_OK; // of the last driver step
    BOOL bWarning = FALSE;    // no answer in time, or the run cancelled during the wait
    DWORD dwError = 0;        // the wait itself failed: a system error code
};

CDeviceCommunication::CDeviceCommunication(CReportWriter& report, const WATCHED_ENTRY_POINTS& driver, HANDLE hRxEvent,
                                           HANDLE hCancelEvent, const std::atomic<BOOL>& bCancel, DWORD& nDevices)
    : m_report(report),
      m_ft(driver),
      m_hRxEvent(hRxEvent),
      m_hCancelEvent(hCancelEvent),
      m_bCancel(bCancel),
      m_nDevices(nDevices)
{
}

// The EEPROM's identity of an open device, shown in the detailed view.
FT_STATUS CDeviceCommunication::ReadIdentity(FT_HANDLE hDevice)
{
    m_report.WriteLog("Read EEPROM data", LOG_DETAIL);
    char szManufacturer[32] = {};
    char szManufacturerId[16] = {};
    char szDescription[64] = {};
    char szSerialNumber[16] = {};
    FT_PROGRAM_DATA eeprom = {};
    eeprom.Signature1 = 0;
    eeprom.Signature2 = 0xFFFFFFFF;
    eeprom.Version = 0;
    eeprom.Manufacturer = szManufacturer;
    eeprom.ManufacturerId = szManufacturerId;
    eeprom.Description = szDescription;
    eeprom.SerialNumber = szSerialNumber;
    const FT_STATUS status = m_ft.FT_EE_Read(hDevice, &eeprom);
    if (status != FT_OK)
    {
        m_report.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    m_report.WriteLog("... successfull", LOG_DETAIL);
    CString line;
    line.Format("Device connected:   Vid_%04X&Pid_%04X#%s", static_cast<unsigned>(eeprom.VendorId),
                static_cast<unsigned>(eeprom.ProductId), static_cast<LPCSTR>(BoundedText(szSerialNumber)));
    m_report.WriteLog(line, LOG_DETAIL);
    line.Format("Description:   %s", static_cast<LPCSTR>(BoundedText(szDescription)));
    m_report.WriteLog(line, LOG_DETAIL);
    line.Format("Manufacturer:   %s", static_cast<LPCSTR>(BoundedText(szManufacturer)));
    m_report.WriteLog(line, LOG_DETAIL);
    return FT_OK;
}

// Asks for the answer's notification and sends the request; the clock starts
// as soon as the request has gone.
FT_STATUS CDeviceCommunication::SendRequest(FT_HANDLE hDevice, CAnswerClock& clock)
{
    m_report.WriteLog("Set the event notification", LOG_DETAIL);
    FT_STATUS status = m_ft.FT_SetEventNotification(hDevice, FT_EVENT_RXCHAR, m_hRxEvent);
    if (status != FT_OK)
    {
        m_report.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    m_report.WriteLog("... successfull", LOG_DETAIL);
    m_report.WriteLog("Wait for SCPI response", LOG_DETAIL);
    CString line;
    line.Format("Send SCPI request:   %s", kRequest);
    m_report.WriteLog(line, LOG_DETAIL);

    // A signal left over from an earlier device's answer, which may have
    // come in several chunks, must not end this device's wait.
    ::ResetEvent(m_hRxEvent);
    clock.Prepare(m_hRxEvent);
    char request[kRequestLength + 1];
    std::memcpy(request, kRequest, sizeof(kRequest) - 1);
    request[kRequestLength - 1] = '\n';
    request[kRequestLength] = '\0';
    DWORD dwWritten = 0;
    status = m_ft.FT_Write(hDevice, request, kRequestLength, &dwWritten);
    if (status != FT_OK)
    {
        m_report.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    clock.Start();
    m_report.WriteLog("... successfull", LOG_DETAIL);
    m_report.WriteLog("Wait for SCPI response", LOG_DETAIL);
    return FT_OK;
}

// Waits for the first characters of the answer, or the run's cancel, and reads the answer.
CDeviceCommunication::DeviceOutcome CDeviceCommunication::AwaitAnswer(FT_HANDLE hDevice, const CAnswerClock& clock,
                                                                      const LARGE_INTEGER& frequency)
{
    DeviceOutcome outcome;
    // Without the answer's clock there is nothing to wait for: the device
    // fails as with a failed wait.
    if (clock.Answered() == nullptr)
    {
        outcome.dwError = clock.Error();
        return outcome;
    }
    // The cancel event first: a cancel wins over characters that came at the same time.
    HANDLE events[2] = {m_hCancelEvent, clock.Answered()};
    const DWORD dwWait = g_SystemCalls.WaitForMultipleObjects(2, events, FALSE, kResponseWait);
    if (dwWait == WAIT_OBJECT_0)
    {
        m_report.WriteLog("... thread is going to terminate", LOG_DETAIL_ALERT);
        outcome.bWarning = TRUE;
        return outcome;
    }
    if (dwWait == WAIT_TIMEOUT)
    {
        m_report.WriteLog("... a timeout is occured", LOG_DETAIL_ALERT);
        outcome.bWarning = TRUE;
        return outcome;
    }
    if (dwWait != WAIT_OBJECT_0 + 1)
    {
        // A failed wait that names no reason must still fail the device:
        // with 0 here it would pass as "OK".
        outcome.dwError = LastErrorOr(ERROR_GEN_FAILURE);
        return outcome;
    }

    m_report.WriteLog("... first characters received", LOG_DETAIL);
    CString response;
    outcome.status = ReceiveResponse(hDevice, response);
    CString line;
    if (outcome.status == FT_OK)
    {
        line.Format("SCPI response:   %s", static_cast<LPCSTR>(response));
        m_report.WriteLog(line, LOG_DETAIL);
    }
    const double dResponseTime = clock.ElapsedMs(frequency) + 0.005;
    line.Format("Response time:   %#.2f ms", dResponseTime);
    m_report.WriteLog(line, LOG_DETAIL);
    return outcome;
}

// One device's test from the open to the close. A device that never opened
// is not closed. One that is open when a call given up on returns is closed
// on the way out, unreported: the run has ended, but the device must not stay
// taken for the next run and other programs.
CDeviceCommunication::DeviceOutcome CDeviceCommunication::TestDevice(const CString& serialNumber,
                                                                     const LARGE_INTEGER& frequency)
{
    DeviceOutcome outcome;
    m_report.WriteLog("Open the connection.", LOG_DETAIL);
    FT_HANDLE hDevice = nullptr;
    try
    {
        // By its serial number: instruments of one model share a description,
        // and the driver opens the first one it finds with that.
        outcome.status =
            m_ft.FT_OpenEx(const_cast<LPSTR>(static_cast<LPCSTR>(serialNumber)), FT_OPEN_BY_SERIAL_NUMBER, &hDevice);
    }
    catch (const DriverCallGivenUp& givenUp)
    {
        if (givenUp.status == FT_OK)
            m_ft.FT_Close.AfterGivenUp(givenUp, hDevice);
        throw;
    }
    if (outcome.status != FT_OK)
    {
        m_report.WriteLog("... failed", LOG_DETAIL_ALERT);
        return outcome;
    }
    m_report.WriteLog("... successfull", LOG_DETAIL);

    CAnswerClock clock;
    try
    {
        outcome.status = ReadIdentity(hDevice);
        if (outcome.status == FT_OK)
            outcome.status = SendRequest(hDevice, clock);
        if (outcome.status == FT_OK)
            outcome = AwaitAnswer(hDevice, clock, frequency);
    }
    catch (const DriverCallGivenUp& givenUp)
    {
        m_ft.FT_Close.AfterGivenUp(givenUp, hDevice);
        throw;
    }

    // A close given up on is not made again: the driver has had the handle.
    m_ft.FT_Close(hDevice);
    m_report.WriteLog("The connection is closed.", LOG_DETAIL);
    return outcome;
}

// The device's result line; gives the device's result: 0, COMMUNICATION_FAILED
// for a warning, or the system error code of a failed wait.
DWORD CDeviceCommunication::WriteDeviceResult(const DeviceOutcome& outcome)
{
    if (outcome.dwError != 0)
        return m_report.WriteErrorResult(outcome.dwError);
    if (outcome.status != FT_OK || outcome.bWarning)
    {
        // After a cancel or a timeout this is the text of FT_OK.
        m_report.WriteLog(GetStatusText(outcome.status), LOG_DETAIL_ALERT);
        m_report.WriteWarningResult();
        return COMMUNICATION_FAILED;
    }
    m_report.WriteOkResult();
    return 0;
}

// A device with the serial number of one tested before: opened by it, the
// driver would hand back that device again.
DWORD CDeviceCommunication::WriteNotToldApart(const CString& serialNumber)
{
    CString line;
    line.Format("A device tested before has the same serial number (%s): this one cannot be told apart from it "
                "and is not tested",
                static_cast<LPCSTR>(serialNumber));
    m_report.WriteLog(line, LOG_DETAIL_ALERT);
    m_report.WriteWarningResult();
    return COMMUNICATION_FAILED;
}

int CDeviceCommunication::SearchDevices()
{
    m_report.WriteLog("Search devices currently connected to the PC", LOG_HEADING);
    if (m_ft.FT_ListDevices == nullptr)
    {
        m_report.WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        m_report.WriteWarningResult();
        return SEARCH_FAILED;
    }

    // Counted into this thread's own variable: a driver call given up on may
    // still write when the run's owner is gone.
    DWORD nDevices = 0;
    const FT_STATUS status = m_ft.FT_ListDevices(&nDevices, nullptr, FT_LIST_NUMBER_ONLY);
    m_nDevices = nDevices;
    if (status != FT_OK)
    {
        // The driver's status, not a system code: its text comes from the driver table.
        m_report.WriteDriverErrorResult(GetStatusText(status));
        return SEARCH_FAILED;
    }
    if (m_nDevices == 0)
    {
        m_report.WriteLog("No device found", LOG_DETAIL_ALERT);
        m_report.WriteWarningResult();
        return SEARCH_NO_DEVICE;
    }

    CString line;
    line.Format("Number of devices found:   %u", static_cast<unsigned>(m_nDevices));
    m_report.WriteLog(line, LOG_DETAIL);
    m_report.WriteOkResult();
    return SEARCH_DEVICES_FOUND;
}

DWORD CDeviceCommunication::CheckCommunication()
{
    LARGE_INTEGER frequency = {};
    g_SystemCalls.QueryPerformanceFrequency(&frequency);

    if (m_ft.FT_ListDevices == nullptr || m_ft.FT_OpenEx == nullptr || m_ft.FT_Close == nullptr ||
        m_ft.FT_GetQueueStatus == nullptr || m_ft.FT_Read == nullptr || m_ft.FT_Write == nullptr ||
        m_ft.FT_EE_Read == nullptr || m_ft.FT_SetEventNotification == nullptr)
    {
        m_report.WriteLog("Check device communication", LOG_HEADING);
        m_report.WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        m_report.WriteWarningResult();
        return COMMUNICATION_FAILED;
    }
    // A call that tests no device has proven nothing.
    if (m_nDevices == 0)
        return COMMUNICATION_FAILED;

    DWORD dwResult = 0;
    std::vector<CString> testedSerialNumbers;
    // A cancel ends the test before the next device, as the run does between its checks.
    for (DWORD nIndex = 0; nIndex < m_nDevices && !m_bCancel.load(); ++nIndex)
    {
        const PVOID pIndex = reinterpret_cast<PVOID>(static_cast<UINT_PTR>(nIndex));
        char szDescription[kListedTextSize] = {};
        char szSerialNumber[kListedTextSize] = {};
        FT_STATUS status = m_ft.FT_ListDevices(pIndex, szDescription, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        if (status == FT_OK)
            status = m_ft.FT_ListDevices(pIndex, szSerialNumber, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
        if (status != FT_OK)
        {
            m_report.WriteLog("Check device communication", LOG_HEADING);
            m_report.WriteDriverErrorResult(GetStatusText(status));
            return COMMUNICATION_FAILED;
        }
        CString heading;
        heading.Format("Check communication with device:   %s", static_cast<LPCSTR>(BoundedText(szDescription)));
        m_report.WriteLog(heading, LOG_HEADING);

        const CString serialNumber = BoundedText(szSerialNumber);
        const BOOL bTestedBefore = std::find(testedSerialNumbers.begin(), testedSerialNumbers.end(), serialNumber) !=
                                   testedSerialNumbers.end();
        testedSerialNumbers.push_back(serialNumber);
        const DWORD dwOutcome =
            bTestedBefore ? WriteNotToldApart(serialNumber) : WriteDeviceResult(TestDevice(serialNumber, frequency));
        if (dwOutcome != 0)
            dwResult = dwOutcome;
    }
    return dwResult;
}

FT_STATUS CDeviceCommunication::ReceiveResponse(FT_HANDLE hDevice, CString& response)
{
    response.Empty();
    g_SystemCalls.Sleep(kReceivePause);

    DWORD dwQueued = 0;
    FT_STATUS status = m_ft.FT_GetQueueStatus(hDevice, &dwQueued);
    if (status == FT_OK)
    {
        CString line;
        line.Format("%u bytes received by the device driver", static_cast<unsigned>(dwQueued));
        m_report.WriteLog(line, LOG_DETAIL);

        // Zeroed, so that bytes the driver counts but never wrote read as the
        // end of the answer rather than as what an earlier call left here.
        char buffer[kMaxRead + 2] = {};
        const DWORD dwToRead = dwQueued < kMaxRead ? dwQueued : kMaxRead;
        DWORD dwReturned = 0;
        status = m_ft.FT_Read(hDevice, buffer, dwToRead, &dwReturned);
        if (status == FT_OK)
        {
            // A driver that reports more than was asked for is not believed.
            if (dwReturned > dwToRead)
                dwReturned = dwToRead;
            buffer[dwReturned] = '\0';
            response += buffer;
            line.Format("%u bytes copied into the receive buffer", static_cast<unsigned>(dwReturned));
            m_report.WriteLog(line, LOG_DETAIL);
        }
    }
    response.TrimRight("\r\n");
    return status;
}
