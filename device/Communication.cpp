// The device search and the communication test: every connected device is
// opened, its EEPROM identity read, sent the identification request, and its
// answer shown with the time the first characters took.
#include "app/UsbInstallationTestDlg.h"

#include <cstring>

namespace
{
const char kRequest[] = "*IDN?;";
const DWORD kRequestLength = 7;   // the request and its line end
const DWORD kResponseWait = 2000; // ms for the first characters
const DWORD kReceivePause = 200;  // ms before the answer is read
const DWORD kMaxRead = 254;
const DWORD kDescriptionSize = 260;

// The driver's texts are not trusted to end within their buffers.
template <size_t N>
CString BoundedText(const char (&buffer)[N])
{
    return CString(buffer, static_cast<int>(strnlen(buffer, N)));
}

// What one device's test found; its result line follows from it.
struct DeviceOutcome
{
    FT_STATUS status = FT_OK; // of the last driver step
    BOOL bWarning = FALSE;    // no answer in time, or the dialog closed during the wait
    DWORD dwError = 0;        // the wait itself failed: a system error code
};

// The EEPROM's identity of an open device, shown in the detailed view.
FT_STATUS ReadIdentity(CUsbInstallationTestDlg& dlg, FT_HANDLE hDevice)
{
    dlg.WriteLog("Read EEPROM data", LOG_DETAIL);
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
    const FT_STATUS status = dlg.m_DriverEntryPoints.FT_EE_Read(hDevice, &eeprom);
    if (status != FT_OK)
    {
        dlg.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    dlg.WriteLog("... successfull", LOG_DETAIL);
    CString line;
    line.Format("Device connected:   Vid_%04X&Pid_%04X#%s", static_cast<unsigned>(eeprom.VendorId),
                static_cast<unsigned>(eeprom.ProductId), static_cast<LPCSTR>(BoundedText(szSerialNumber)));
    dlg.WriteLog(line, LOG_DETAIL);
    line.Format("Description:   %s", static_cast<LPCSTR>(BoundedText(szDescription)));
    dlg.WriteLog(line, LOG_DETAIL);
    line.Format("Manufacturer:   %s", static_cast<LPCSTR>(BoundedText(szManufacturer)));
    dlg.WriteLog(line, LOG_DETAIL);
    return FT_OK;
}

// Asks for the answer's notification and sends the request; the clock starts
// as soon as the request has gone.
FT_STATUS SendRequest(CUsbInstallationTestDlg& dlg, FT_HANDLE hDevice, LARGE_INTEGER& start)
{
    const DRIVER_ENTRY_POINTS& ft = dlg.m_DriverEntryPoints;
    dlg.WriteLog("Set the event notification", LOG_DETAIL);
    FT_STATUS status = ft.FT_SetEventNotification(hDevice, FT_EVENT_RXCHAR, dlg.m_hRxEvent);
    if (status != FT_OK)
    {
        dlg.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    dlg.WriteLog("... successfull", LOG_DETAIL);
    dlg.WriteLog("Wait for SCPI response", LOG_DETAIL);
    CString line;
    line.Format("Send SCPI request:   %s", kRequest);
    dlg.WriteLog(line, LOG_DETAIL);

    // A signal left over from an earlier device's answer, which may have
    // come in several chunks, must not end this device's wait.
    ::ResetEvent(dlg.m_hRxEvent);
    char request[kRequestLength + 1];
    std::memcpy(request, kRequest, sizeof(kRequest) - 1);
    request[kRequestLength - 1] = '\n';
    request[kRequestLength] = '\0';
    DWORD dwWritten = 0;
    status = ft.FT_Write(hDevice, request, kRequestLength, &dwWritten);
    if (status != FT_OK)
    {
        dlg.WriteLog("... failed", LOG_DETAIL_ALERT);
        return status;
    }
    g_SystemCalls.QueryPerformanceCounter(&start);
    dlg.WriteLog("... successfull", LOG_DETAIL);
    dlg.WriteLog("Wait for SCPI response", LOG_DETAIL);
    return FT_OK;
}

// Waits for the first characters of the answer, or the dialog's closing, and reads the answer.
DeviceOutcome AwaitAnswer(CUsbInstallationTestDlg& dlg, FT_HANDLE hDevice, const LARGE_INTEGER& start,
                          const LARGE_INTEGER& frequency)
{
    DeviceOutcome outcome;
    // The cancel event first: a cancel wins over characters that came at the same time.
    HANDLE events[2] = {dlg.m_hCancelEvent, dlg.m_hRxEvent};
    const DWORD dwWait = g_SystemCalls.WaitForMultipleObjects(2, events, FALSE, kResponseWait);
    if (dwWait == WAIT_OBJECT_0)
    {
        dlg.WriteLog("... thread is going to terminate", LOG_DETAIL_ALERT);
        outcome.bWarning = TRUE;
        return outcome;
    }
    if (dwWait == WAIT_TIMEOUT)
    {
        dlg.WriteLog("... a timeout is occured", LOG_DETAIL_ALERT);
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

    LARGE_INTEGER end = {};
    g_SystemCalls.QueryPerformanceCounter(&end);
    dlg.WriteLog("... first characters received", LOG_DETAIL);
    CString response;
    outcome.status = dlg.ReceiveResponse(hDevice, response);
    CString line;
    if (outcome.status == FT_OK)
    {
        line.Format("SCPI response:   %s", static_cast<LPCSTR>(response));
        dlg.WriteLog(line, LOG_DETAIL);
    }
    const double dResponseTime =
        static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) * 1000.0 + 0.005;
    line.Format("Response time:   %#.2f ms", dResponseTime);
    dlg.WriteLog(line, LOG_DETAIL);
    return outcome;
}

// One device's test from the open to the close. A device that never opened
// is not closed.
DeviceOutcome TestDevice(CUsbInstallationTestDlg& dlg, const CString& description, const LARGE_INTEGER& frequency)
{
    const DRIVER_ENTRY_POINTS& ft = dlg.m_DriverEntryPoints;
    DeviceOutcome outcome;
    dlg.WriteLog("Open the connection.", LOG_DETAIL);
    FT_HANDLE hDevice = nullptr;
    outcome.status =
        ft.FT_OpenEx(const_cast<LPSTR>(static_cast<LPCSTR>(description)), FT_OPEN_BY_DESCRIPTION, &hDevice);
    if (outcome.status != FT_OK)
    {
        dlg.WriteLog("... failed", LOG_DETAIL_ALERT);
        return outcome;
    }
    dlg.WriteLog("... successfull", LOG_DETAIL);

    LARGE_INTEGER start = {};
    outcome.status = ReadIdentity(dlg, hDevice);
    if (outcome.status == FT_OK)
        outcome.status = SendRequest(dlg, hDevice, start);
    if (outcome.status == FT_OK)
        outcome = AwaitAnswer(dlg, hDevice, start, frequency);

    ft.FT_Close(hDevice);
    dlg.WriteLog("The connection is closed.", LOG_DETAIL);
    return outcome;
}

// The device's result line; gives the device's result: 0, 1 for a warning,
// or the system error code of a failed wait.
DWORD WriteDeviceResult(CUsbInstallationTestDlg& dlg, const DeviceOutcome& outcome)
{
    if (outcome.dwError != 0)
    {
        dlg.WriteResult({outcome.dwError, "Error", LOG_RESULT_ERROR});
        return outcome.dwError;
    }
    if (outcome.status != FT_OK || outcome.bWarning)
    {
        // After a cancel or a timeout this is the text of FT_OK.
        dlg.WriteLog(CUsbInstallationTestDlg::GetStatusText(outcome.status), LOG_DETAIL_ALERT);
        dlg.WriteLog("Warning", LOG_RESULT_WARNING);
        return 1;
    }
    dlg.WriteLog("OK", LOG_RESULT_OK);
    return 0;
}
} // namespace

int CUsbInstallationTestDlg::SearchDevices()
{
    WriteLog("Search devices currently connected to the PC", LOG_HEADING);
    if (m_DriverEntryPoints.FT_ListDevices == nullptr)
    {
        WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 1;
    }

    const FT_STATUS status = m_DriverEntryPoints.FT_ListDevices(&m_nDevices, nullptr, FT_LIST_NUMBER_ONLY);
    if (status != FT_OK)
    {
        // The driver's status, not a system code: its text comes from the driver table.
        WriteLog("Error", LOG_RESULT_ERROR);
        WriteLog(GetStatusText(status), LOG_ERROR);
        return 1;
    }
    if (m_nDevices == 0)
    {
        WriteLog("No device found", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 2;
    }

    CString line;
    line.Format("Number of devices found:   %u", static_cast<unsigned>(m_nDevices));
    WriteLog(line, LOG_DETAIL);
    WriteLog("OK", LOG_RESULT_OK);
    return 0;
}

DWORD CUsbInstallationTestDlg::CheckCommunication()
{
    LARGE_INTEGER frequency = {};
    g_SystemCalls.QueryPerformanceFrequency(&frequency);

    const DRIVER_ENTRY_POINTS& ft = m_DriverEntryPoints;
    if (ft.FT_ListDevices == nullptr || ft.FT_OpenEx == nullptr || ft.FT_Close == nullptr ||
        ft.FT_GetQueueStatus == nullptr || ft.FT_Read == nullptr || ft.FT_Write == nullptr ||
        ft.FT_EE_Read == nullptr || ft.FT_SetEventNotification == nullptr)
    {
        WriteLog("Check device communication", LOG_HEADING);
        WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 1;
    }
    // A call that tests no device has proven nothing.
    if (m_nDevices == 0)
        return 1;

    // The result is the last failing device's, so that a later "OK" does not
    // hide an earlier failure.
    DWORD dwResult = 0;
    for (DWORD nIndex = 0; nIndex < m_nDevices; ++nIndex)
    {
        char szDescription[kDescriptionSize] = {};
        const FT_STATUS status = ft.FT_ListDevices(reinterpret_cast<PVOID>(static_cast<UINT_PTR>(nIndex)),
                                                   szDescription, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        if (status != FT_OK)
        {
            WriteLog("Check device communication", LOG_HEADING);
            WriteLog("Error", LOG_RESULT_ERROR);
            WriteLog(GetStatusText(status), LOG_ERROR);
            return 1;
        }
        const CString description = BoundedText(szDescription);
        CString heading;
        heading.Format("Check communication with device:   %s", static_cast<LPCSTR>(description));
        WriteLog(heading, LOG_HEADING);

        const DWORD dwOutcome = WriteDeviceResult(*this, TestDevice(*this, description, frequency));
        if (dwOutcome != 0)
            dwResult = dwOutcome;
    }
    return dwResult;
}

FT_STATUS CUsbInstallationTestDlg::ReceiveResponse(FT_HANDLE hDevice, CString& response)
{
    response.Empty();
    g_SystemCalls.Sleep(kReceivePause);

    DWORD dwQueued = 0;
    FT_STATUS status = m_DriverEntryPoints.FT_GetQueueStatus(hDevice, &dwQueued);
    if (status == FT_OK)
    {
        CString line;
        line.Format("%u bytes received by the device driver", static_cast<unsigned>(dwQueued));
        WriteLog(line, LOG_DETAIL);

        // Zeroed, so that bytes the driver counts but never wrote read as the
        // end of the answer rather than as what an earlier call left here.
        char buffer[kMaxRead + 2] = {};
        const DWORD dwToRead = dwQueued < kMaxRead ? dwQueued : kMaxRead;
        DWORD dwReturned = 0;
        status = m_DriverEntryPoints.FT_Read(hDevice, buffer, dwToRead, &dwReturned);
        if (status == FT_OK)
        {
            // A driver that reports more than was asked for is not believed.
            if (dwReturned > dwToRead)
                dwReturned = dwToRead;
            buffer[dwReturned] = '\0';
            response += buffer;
            line.Format("%u bytes copied into the receive buffer", static_cast<unsigned>(dwReturned));
            WriteLog(line, LOG_DETAIL);
        }
    }
    response.TrimRight("\r\n");
    return status;
}
