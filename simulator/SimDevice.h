// One simulated instrument: its listing text, EEPROM, open state, receive
// queue and the threads that deliver its answers.
#pragma once

#include "simulator/CriticalSection.h"
#include "simulator/Scenario.h"
#include "simulator/Trace.h"

#include <memory>
#include <string>
#include <vector>

class CSimDevice
{
public:
    CSimDevice(unsigned nIndex, const DEVICE_SCENARIO& scenario, CTrace& trace);
    ~CSimDevice();
    CSimDevice(const CSimDevice&) = delete;
    CSimDevice& operator=(const CSimDevice&) = delete;

    unsigned Index() const { return m_nIndex; }

    // Listing by index into the caller's 260-byte buffer: the description
    // for FT_OPEN_BY_DESCRIPTION, the serial number for FT_OPEN_BY_SERIAL_NUMBER.
    FT_STATUS List(char* pchBuffer, DWORD dwWhat);
    // Whether FT_OpenEx with this description or serial number means this device.
    bool Matches(const char* pszName, DWORD dwWhat) const;
    // Opens the device as hNew, once a held device is released. bBusy tells
    // that it was open already, so the caller may try the next device with
    // the same description.
    FT_STATUS TryOpen(FT_HANDLE hNew, bool& bBusy);
    bool IsOpenAs(FT_HANDLE h);

    // Each of these answers FT_INVALID_HANDLE unless the device is open as h.
    FT_STATUS Close(FT_HANDLE h);
    FT_STATUS EeRead(FT_HANDLE h, FT_PROGRAM_DATA* pData);
    FT_STATUS SetEventNotification(FT_HANDLE h, DWORD dwEventMask, PVOID pParam);
    FT_STATUS Write(FT_HANDLE h, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten);
    FT_STATUS GetQueueStatus(FT_HANDLE h, DWORD* pdwRxBytes);
    FT_STATUS Read(FT_HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned);

private:
    // One answer on its way: it belongs to the open handle that asked for it
    // and is dropped when that handle is closed.
    struct Delivery
    {
        CSimDevice* pDevice = nullptr;
        FT_HANDLE hOwner = nullptr;
        LONGLONG llWriteReturned = 0;
        HANDLE hCancel = nullptr;
        HANDLE hStarted = nullptr;
        HANDLE hThread = nullptr;
        HMODULE hModule = nullptr;
        bool bDelivered = false; // guarded by m_cs
    };

    static DWORD WINAPI DeliveryThread(LPVOID pParam);
    void Deliver(Delivery& delivery);
    FT_STATUS StartDelivery(FT_HANDLE hOwner, std::unique_ptr<Delivery>& pStarted);
    void ReapFinishedDeliveries();
    static void ReleaseDelivery(Delivery& delivery);
    void PutText(char* pchBuffer, size_t nSize, const std::string& text) const;
    // Waits for the hold event, if the scenario names one.
    void AwaitRelease() const;

    const unsigned m_nIndex;
    const DEVICE_SCENARIO m_scenario;
    CTrace& m_trace;

    CCriticalSection m_cs;
    FT_HANDLE m_hOpen = nullptr;
    HANDLE m_hNotify = nullptr;
    std::string m_queue;
    std::vector<std::unique_ptr<Delivery>> m_deliveries;
};
