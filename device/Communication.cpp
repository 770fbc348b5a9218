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

// A driver's text as the report shows it: nor is it trusted to hold no line
// breaks or other control characters.
template <size_t N>
CString ShownText(const char (&buffer)[N])
{
    return EscapeControlCharacters(BoundedText(buffer));
}

// A device's result after its last driver step: a step that failed gives a
// Warning with the status's text.
CheckResult StepResult(FT_STATUS status)
{
    return status == FT_OK ? CheckResult::Ok() : CheckResult::Warning(GetStatusText(status));
}

// A device with the serial number of one tested before: opened by it, the
// driver would hand back that device again.
CheckResult NotToldApart(const CString& serialNumber)
{
    CString reason;
    reason.Format("A device tested before has the same serial number (%s): this one cannot be told apart from it "
                  "and is not tested",
                  static_cast<LPCSTR>(EscapeControlCharacters(serialNumber)));
    return CheckResult::Warning(reason);
}
} // namespace

CDeviceCommunication::CDeviceCommunication(CReportWriter& report, const WATCHED_ENTRY_POINTS& driver,
                                           HANDLE hCancelEvent, const std::atomic<BOOL>& bCancel)
    : m_report(report),
      m_ft(driver),
      m_hRxEvent(g_SystemCalls.CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_hCancelEvent(hCancelEvent),
      m_bCancel(bCancel)
{
}

// Every device it opened is closed: the driver signals the event no more.
CDeviceCommunication::~CDeviceCommunication()
{
    if (m_hRxEvent != nullptr)
        ::CloseHandle(m_hRxEvent);
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
                static_cast<unsigned>(eeprom.ProductId), static_cast<LPCSTR>(ShownText(szSerialNumber)));
    m_report.WriteLog(line, LOG_DETAIL);
    line.Format("Description:   %s", static_cast<LPCSTR>(ShownText(szDescription)));
    m_report.WriteLog(line, LOG_DETAIL);
    line.Format("Manufacturer:   %s", static_cast<LPCSTR>(ShownText(szManufacturer)));
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
CheckResult CDeviceCommunication::AwaitAnswer(FT_HANDLE hDevice, const CAnswerClock& clock,
                                              const LARGE_INTEGER& frequency)
{
    // Without the answer's clock there is nothing to wait for: the device
    // fails as with a failed wait.
    if (clock.Answered() == nullptr)
        return CheckResult::Error(clock.Error());
    // The cancel event first: a cancel wins over characters that came at the same time.
    HANDLE events[2] = {m_hCancelEvent, clock.Answered()};
    const DWORD dwWait = g_SystemCalls.WaitForMultipleObjects(2, events, FALSE, kResponseWait);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_TIMEOUT)
    {
        m_report.WriteLog(dwWait == WAIT_OBJECT_0 ? "... thread is going to terminate" : "... a timeout is occured",
                          LOG_DETAIL_ALERT);
        // No driver step failed: the warning's text is that of FT_OK.
        return CheckResult::Warning(GetStatusText(FT_OK));
    }
    // A failed wait that names no reason must still fail the device, and
    // with a code that does not read as success.
    if (dwWait != WAIT_OBJECT_0 + 1)
        return CheckResult::Error(LastErrorOr(ERROR_GEN_FAILURE));

    m_report.WriteLog("... first characters received", LOG_DETAIL);
    CString response;
    const FT_STATUS status = ReceiveResponse(hDevice, response);
    CString line;
    if (status == FT_OK)
    {
        line.Format("SCPI response:   %s", static_cast<LPCSTR>(EscapeControlCharacters(response)));
        m_report.WriteLog(line, LOG_DETAIL);
    }
    const double dResponseTime = clock.ElapsedMs(frequency) + 0.005;
    line.Format("Response time:   %#.2f ms", dResponseTime);
    m_report.WriteLog(line, LOG_DETAIL);
    return StepResult(status);
}

// One device's test from the open to the close. A device that never opened
// is not closed. One that is open when a call given up on returns is closed
// on the way out, unreported: the run has ended, but the device must not stay
// taken for the next run and other programs.
CheckResult CDeviceCommunication::TestDevice(const CString& serialNumber, const LARGE_INTEGER& frequency)
{
    m_report.WriteLog("Open the connection.", LOG_DETAIL);
    FT_HANDLE hDevice = nullptr;
    FT_STATUS status = FT_OK;
    try
    {
        // By its serial number: instruments of one model share a description,
        // and the driver opens the first one it finds with that.
        status =
            m_ft.FT_OpenEx(const_cast<LPSTR>(static_cast<LPCSTR>(serialNumber)), FT_OPEN_BY_SERIAL_NUMBER, &hDevice);
    }
    catch (const DriverCallGivenUp& givenUp)
    {
        if (givenUp.status == FT_OK)
            m_ft.FT_Close.AfterGivenUp(givenUp, hDevice);
        throw;
    }
    if (status != FT_OK)
    {
        m_report.WriteLog("... failed", LOG_DETAIL_ALERT);
        return StepResult(status);
    }
    m_report.WriteLog("... successfull", LOG_DETAIL);

    CAnswerClock clock;
    CheckResult result;
    try
    {
        status = ReadIdentity(hDevice);
        if (status == FT_OK)
            status = SendRequest(hDevice, clock);
        result = status == FT_OK ? AwaitAnswer(hDevice, clock, frequency) : StepResult(status);
    }
    catch (const DriverCallGivenUp& givenUp)
    {
        m_ft.FT_Close.AfterGivenUp(givenUp, hDevice);
        throw;
    }

    // A close given up on is not made again: the driver has had the handle.
    m_ft.FT_Close(hDevice);
    m_report.WriteLog("The connection is closed.", LOG_DETAIL);
    return result;
}

// The communication test's own result, under its own heading: it ended
// before a device's heading or tested none.
CheckResult CDeviceCommunication::WriteCommunicationResult(const CheckResult& result)
{
    m_report.WriteLog("Check device communication", LOG_HEADING);
    m_report.WriteResult(result);
    return result;
}

CheckResult CDeviceCommunication::SearchDevices()
{
    m_report.WriteLog("Search devices currently connected to the PC", LOG_HEADING);
    const CheckResult result = CountDevices();
    m_report.WriteResult(result);
    return result;
}

CheckResult CDeviceCommunication::CountDevices()
{
    if (m_ft.FT_ListDevices == nullptr)
        return CheckResult::Warning("Incorrect function pointer");
    m_nDevices = 0;
    const FT_STATUS status = m_ft.FT_ListDevices(&m_nDevices, nullptr, FT_LIST_NUMBER_ONLY);
    // The driver's status, not a system code: its text comes from the driver table.
    if (status != FT_OK)
        return CheckResult::DriverError(GetStatusText(status));
    if (m_nDevices == 0)
        return CheckResult::Warning("No device found");
    CString line;
    line.Format("Number of devices found:   %u", static_cast<unsigned>(m_nDevices));
    m_report.WriteLog(line, LOG_DETAIL);
    return CheckResult::Ok();
}

CheckResult CDeviceCommunication::CheckCommunication()
{
    LARGE_INTEGER frequency = {};
    g_SystemCalls.QueryPerformanceFrequency(&frequency);

    if (m_ft.FT_ListDevices == nullptr || m_ft.FT_OpenEx == nullptr || m_ft.FT_Close == nullptr ||
        m_ft.FT_GetQueueStatus == nullptr || m_ft.FT_Read == nullptr || m_ft.FT_Write == nullptr ||
        m_ft.FT_EE_Read == nullptr || m_ft.FT_SetEventNotification == nullptr)
        return WriteCommunicationResult(CheckResult::Warning("Incorrect function pointer"));
    // A call that tests no device has proven nothing.
    if (m_nDevices == 0)
        return CheckResult::Warning();

    CheckResult worst = CheckResult::Ok();
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
            return WriteCommunicationResult(CheckResult::DriverError(GetStatusText(status)));
        CString heading;
        heading.Format("Check communication with device:   %s", static_cast<LPCSTR>(ShownText(szDescription)));
        m_report.WriteLog(heading, LOG_HEADING);

        const CString serialNumber = BoundedText(szSerialNumber);
        const BOOL bTestedBefore = std::find(testedSerialNumbers.begin(), testedSerialNumbers.end(), serialNumber) !=
                                   testedSerialNumbers.end();
        testedSerialNumbers.push_back(serialNumber);
        const CheckResult device = bTestedBefore ? NotToldApart(serialNumber) : TestDevice(serialNumber, frequency);
        m_report.WriteResult(device);
        worst = Worse(worst, device);
    }
    return worst;
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
