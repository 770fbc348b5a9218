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
} // namespace

int CUsbInstallationTestDlg::SearchDevices()
{
    WriteLog("Search devices currently connected to the PC", LOG_HEADING);
    if (DriverEntryPoints.FT_ListDevices == nullptr)
    {
        WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 1;
    }

    const FT_STATUS status = DriverEntryPoints.FT_ListDevices(&m_nDevices, nullptr, FT_LIST_NUMBER_ONLY);
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
    CString response;
    LARGE_INTEGER frequency = {};
    g_SystemCalls.QueryPerformanceFrequency(&frequency);

    const DRIVER_ENTRY_POINTS& ft = DriverEntryPoints;
    if (ft.FT_ListDevices == nullptr || ft.FT_OpenEx == nullptr || ft.FT_Close == nullptr ||
        ft.FT_GetQueueStatus == nullptr || ft.FT_Read == nullptr || ft.FT_Write == nullptr ||
        ft.FT_EE_Read == nullptr || ft.FT_SetEventNotification == nullptr)
    {
        WriteLog("Check device communication", LOG_HEADING);
        WriteLog("Incorrect function pointer", LOG_DETAIL_ALERT);
        WriteLog("Warning", LOG_RESULT_WARNING);
        return 1;
    }

    // The result is the last failing device's outcome, so that a later "OK"
    // does not hide an earlier failure; a call that tests no device has proven
    // nothing and answers 1.
    DWORD dwResult = 0;
    BOOL bTested = FALSE;
    for (DWORD nIndex = 0; nIndex < m_nDevices; ++nIndex)
    {
        FT_STATUS status = FT_OK;
        BOOL bWarning = FALSE;
        DWORD dwError = 0;

        char szDescription[kDescriptionSize] = {};
        status = ft.FT_ListDevices(reinterpret_cast<PVOID>(static_cast<UINT_PTR>(nIndex)), szDescription,
                                   FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        if (status != FT_OK)
        {
            WriteLog("Check device communication", LOG_HEADING);
            WriteLog("Error", LOG_RESULT_ERROR);
            WriteLog(GetStatusText(status), LOG_ERROR);
            return 1;
        }
        bTested = TRUE;
        const CString description = BoundedText(szDescription);

        CString line;
        line.Format("Check communication with device:   %s", static_cast<LPCSTR>(description));
        WriteLog(line, LOG_HEADING);

        WriteLog("Open the connection.", LOG_DETAIL);
        FT_HANDLE hDevice = nullptr;
        status = ft.FT_OpenEx(const_cast<LPSTR>(static_cast<LPCSTR>(description)), FT_OPEN_BY_DESCRIPTION, &hDevice);
        if (status != FT_OK)
        {
            // No close and no result line for a device that never opened, yet
            // it counts as failed.
            WriteLog("... failed", LOG_DETAIL_ALERT);
            WriteLog(GetStatusText(status), LOG_DETAIL_ALERT);
            dwResult = 1;
            continue;
        }
        WriteLog("... successfull", LOG_DETAIL);

        do
        {
            WriteLog("Read EEPROM data", LOG_DETAIL);
            char szManufacturer[32] = {};
            char szManufacturerId[16] = {};
            char szEepromDescription[64] = {};
            char szSerialNumber[16] = {};
            FT_PROGRAM_DATA eeprom = {};
            eeprom.Signature1 = 0;
            eeprom.Signature2 = 0xFFFFFFFF;
            eeprom.Version = 0;
            eeprom.Manufacturer = szManufacturer;
            eeprom.ManufacturerId = szManufacturerId;
            eeprom.Description = szEepromDescription;
            eeprom.SerialNumber = szSerialNumber;
            status = ft.FT_EE_Read(hDevice, &eeprom);
            if (status != FT_OK)
            {
                WriteLog("... failed", LOG_DETAIL_ALERT);
                break;
            }
            WriteLog("... successfull", LOG_DETAIL);
            line.Format("Device connected:   Vid_%04X&Pid_%04X#%s", static_cast<unsigned>(eeprom.VendorId),
                        static_cast<unsigned>(eeprom.ProductId), static_cast<LPCSTR>(BoundedText(szSerialNumber)));
            WriteLog(line, LOG_DETAIL);
            line.Format("Description:   %s", static_cast<LPCSTR>(BoundedText(szEepromDescription)));
            WriteLog(line, LOG_DETAIL);
            line.Format("Manufacturer:   %s", static_cast<LPCSTR>(BoundedText(szManufacturer)));
            WriteLog(line, LOG_DETAIL);

            WriteLog("Set the event notification", LOG_DETAIL);
            status = ft.FT_SetEventNotification(hDevice, FT_EVENT_RXCHAR, m_hRxEvent);
            if (status != FT_OK)
            {
                WriteLog("... failed", LOG_DETAIL_ALERT);
                break;
            }
            WriteLog("... successfull", LOG_DETAIL);
            WriteLog("Wait for SCPI response", LOG_DETAIL);
            line.Format("Send SCPI request:   %s", kRequest);
            WriteLog(line, LOG_DETAIL);

            // A signal left over from an earlier device's answer, which may have
            // come in several chunks, must not end this device's wait.
            ::ResetEvent(m_hRxEvent);
            char request[kRequestLength + 1];
            std::memcpy(request, kRequest, sizeof(kRequest) - 1);
            request[kRequestLength - 1] = '\n';
            request[kRequestLength] = '\0';
            DWORD dwWritten = 0;
            status = ft.FT_Write(hDevice, request, kRequestLength, &dwWritten);
            if (status != FT_OK)
            {
                WriteLog("... failed", LOG_DETAIL_ALERT);
                break;
            }
            LARGE_INTEGER start = {};
            g_SystemCalls.QueryPerformanceCounter(&start);
            WriteLog("... successfull", LOG_DETAIL);
            WriteLog("Wait for SCPI response", LOG_DETAIL);

            // The cancel event first: a cancel wins over characters that came at the same time.
            HANDLE events[2] = {m_hCancelEvent, m_hRxEvent};
            const DWORD dwWait = g_SystemCalls.WaitForMultipleObjects(2, events, FALSE, kResponseWait);
            if (dwWait == WAIT_OBJECT_0)
            {
                WriteLog("... thread is going to terminate", LOG_DETAIL_ALERT);
                bWarning = TRUE;
            }
            else if (dwWait == WAIT_OBJECT_0 + 1)
            {
                LARGE_INTEGER end = {};
                g_SystemCalls.QueryPerformanceCounter(&end);
                WriteLog("... first characters received", LOG_DETAIL);
                status = ReceiveResponse(hDevice, response);
                if (status == FT_OK)
                {
                    line.Format("SCPI response:   %s", static_cast<LPCSTR>(response));
                    WriteLog(line, LOG_DETAIL);
                }
                const double dResponseTime = static_cast<double>(end.QuadPart - start.QuadPart) /
                                                 static_cast<double>(frequency.QuadPart) * 1000.0 +
                                             0.005;
                line.Format("Response time:   %#.2f ms", dResponseTime);
                WriteLog(line, LOG_DETAIL);
            }
            else if (dwWait == WAIT_TIMEOUT)
            {
                WriteLog("... a timeout is occured", LOG_DETAIL_ALERT);
                bWarning = TRUE;
            }
            else
            {
                // A failed wait that names no reason must still fail the
                // device: with 0 here it would pass as "OK".
                dwError = LastErrorOr(ERROR_GEN_FAILURE);
            }
        } while (false);

        ft.FT_Close(hDevice);
        WriteLog("The connection is closed.", LOG_DETAIL);

        DWORD dwOutcome = 0;
        if (dwError != 0)
        {
            WriteResult({dwError, "Error", LOG_RESULT_ERROR});
            dwOutcome = dwError;
        }
        else if (status != FT_OK || bWarning)
        {
            WriteLog(GetStatusText(status), LOG_DETAIL_ALERT);
            WriteLog("Warning", LOG_RESULT_WARNING);
            dwOutcome = 1;
        }
        else
        {
            WriteLog("OK", LOG_RESULT_OK);
        }
        if (dwOutcome != 0)
            dwResult = dwOutcome;
    }
    return bTested ? dwResult : 1;
}

FT_STATUS CUsbInstallationTestDlg::ReceiveResponse(FT_HANDLE hDevice, CString& response)
{
    response.Empty();
    ::Sleep(kReceivePause);

    DWORD dwQueued = 0;
    FT_STATUS status = DriverEntryPoints.FT_GetQueueStatus(hDevice, &dwQueued);
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
        status = DriverEntryPoints.FT_Read(hDevice, buffer, dwToRead, &dwReturned);
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
