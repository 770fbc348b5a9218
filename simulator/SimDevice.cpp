#include "simulator/SimDevice.h"

#include <algorithm>
#include <cstring>

namespace
{
const char kIdentityRequest[] = "*IDN?;\n";
const DWORD kIdentityRequestLength = sizeof(kIdentityRequest) - 1;
const char kUntrustedFiller[] = "?";

// The caller's buffer sizes, as the product allocates them.
const size_t kListBufferSize = 260;
const size_t kManufacturerSize = 32;
const size_t kManufacturerIdSize = 16;
const size_t kDescriptionSize = 64;
const size_t kSerialSize = 16;
// A held open goes on after this long even if no one sets its event.
const DWORD kHoldLimitMs = 60000;

// Fills the whole buffer by repeating the text, with no terminating zero.
void FillUnterminated(char* pchBuffer, size_t nSize, const std::string& text)
{
    const std::string& pattern = text.empty() ? std::string(kUntrustedFiller) : text;
    for (size_t i = 0; i < nSize; ++i)
        pchBuffer[i] = pattern[i % pattern.size()];
}

void CopyTerminated(char* pchBuffer, size_t nSize, const std::string& text)
{
    size_t nCopy = std::min(text.size(), nSize - 1);
    memcpy(pchBuffer, text.data(), nCopy);
    pchBuffer[nCopy] = '\0';
}

bool IsIdentityRequest(LPCVOID pBuffer, DWORD dwSize)
{
    return dwSize == kIdentityRequestLength && memcmp(pBuffer, kIdentityRequest, kIdentityRequestLength) == 0;
}

LONGLONG Now()
{
    LARGE_INTEGER li;
    QueryPerformanceCounter(&li);
    return li.QuadPart;
}

// Waits until the counter reaches llDeadline; false as soon as hCancel is set.
// The millisecond wait may wake a little early, so it is repeated until the
// counter agrees: an answer never arrives before its latency has passed.
bool WaitUntil(HANDLE hCancel, LONGLONG llDeadline)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (;;)
    {
        LONGLONG llLeft = llDeadline - Now();
        DWORD dwWaitMs = 0;
        if (llLeft > 0)
            dwWaitMs = static_cast<DWORD>((llLeft * 1000 + frequency.QuadPart - 1) / frequency.QuadPart);
        if (WaitForSingleObject(hCancel, dwWaitMs) == WAIT_OBJECT_0)
            return false;
        if (llLeft <= 0)
            return true;
    }
}

LONGLONG MsToTicks(DWORD dwMs)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart * dwMs / 1000;
}
} // namespace

CSimDevice::CSimDevice(unsigned nIndex, const DEVICE_SCENARIO& scenario, CTrace& trace)
    : m_nIndex(nIndex), m_scenario(scenario), m_trace(trace)
{
}

CSimDevice::~CSimDevice()
{
    // Only reached when the library is unloaded. A delivery thread holds a
    // reference to the library, so none can still be running here, and
    // joining one under the loader lock would hang: just release the handles.
    for (auto& pDelivery : m_deliveries)
        ReleaseDelivery(*pDelivery);
}

FT_STATUS CSimDevice::List(char* pchBuffer, DWORD dwWhat)
{
    FT_STATUS status = m_scenario.listStatus;
    if (status == FT_OK && pchBuffer == nullptr)
        status = FT_INVALID_PARAMETER;
    if (dwWhat == FT_OPEN_BY_SERIAL_NUMBER)
    {
        const std::string& serialNumber = m_scenario.serialNumber;
        if (status == FT_OK)
            CopyTerminated(pchBuffer, kListBufferSize, serialNumber);
        m_trace.Line("FT_ListDevices index=%u serial=%s status=%lu", m_nIndex,
                     CTrace::Quoted(serialNumber.data(), serialNumber.size()).c_str(), status);
        return status;
    }
    const std::string& description = m_scenario.description;
    if (status == FT_OK)
    {
        if (m_scenario.bUntrustedListDescription)
            FillUnterminated(pchBuffer, kListBufferSize, description);
        else
            CopyTerminated(pchBuffer, kListBufferSize, description);
    }
    m_trace.Line("FT_ListDevices index=%u desc=%s untrusted=%d status=%lu", m_nIndex,
                 CTrace::Quoted(description.data(), description.size()).c_str(), m_scenario.bUntrustedListDescription,
                 status);
    return status;
}

bool CSimDevice::Matches(const char* pszName, DWORD dwWhat) const
{
    if (dwWhat == FT_OPEN_BY_SERIAL_NUMBER)
        return strnlen(pszName, kListBufferSize) == m_scenario.serialNumber.size() &&
               memcmp(pszName, m_scenario.serialNumber.data(), m_scenario.serialNumber.size()) == 0;
    // The caller's text is read no further than the listing buffer, so a
    // caller that passes back an unterminated listing does not make us read
    // past its buffer. Such a caller may also have cut the last byte to
    // terminate it: the text as listed, less at most that byte, names us.
    std::string full = m_scenario.description;
    if (m_scenario.bUntrustedListDescription)
    {
        full.assign(kListBufferSize, '\0');
        FillUnterminated(&full[0], full.size(), m_scenario.description);
    }
    size_t nLength = strnlen(pszName, kListBufferSize);
    size_t nNeeded = std::min(full.size(), kListBufferSize - 1);
    return nLength >= nNeeded && nLength <= full.size() && memcmp(pszName, full.data(), nLength) == 0;
}

FT_STATUS CSimDevice::TryOpen(FT_HANDLE hNew, bool& bBusy)
{
    AwaitRelease();
    CSingleLock lock(m_cs);
    bBusy = m_hOpen != nullptr;
    if (bBusy)
        return FT_DEVICE_NOT_OPENED;
    if (m_scenario.openStatus != FT_OK)
        return m_scenario.openStatus;
    m_hOpen = hNew;
    m_hNotify = nullptr;
    m_queue.clear();
    return FT_OK;
}

void CSimDevice::AwaitRelease() const
{
    const std::string& name = m_scenario.holdEvent;
    if (name.empty())
        return;
    const std::string quoted = CTrace::Quoted(name.data(), name.size());
    m_trace.Line("SIM_Hold dev=%u event=%s", m_nIndex, quoted.c_str());
    HANDLE hEvent = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    DWORD dwWait = hEvent != nullptr ? WaitForSingleObject(hEvent, kHoldLimitMs) : WAIT_FAILED;
    if (hEvent != nullptr)
        CloseHandle(hEvent);
    m_trace.Line("SIM_Release dev=%u event=%s set=%d", m_nIndex, quoted.c_str(), dwWait == WAIT_OBJECT_0);
}

bool CSimDevice::IsOpenAs(FT_HANDLE h)
{
    CSingleLock lock(m_cs);
    return h != nullptr && m_hOpen == h;
}

FT_STATUS CSimDevice::Close(FT_HANDLE h)
{
    std::vector<std::unique_ptr<Delivery>> pending;
    unsigned nCancelled = 0;
    {
        CSingleLock lock(m_cs);
        if (h == nullptr || m_hOpen != h)
        {
            m_trace.Line("FT_Close dev=%u handle=%p status=%lu", m_nIndex, h, FT_INVALID_HANDLE);
            return FT_INVALID_HANDLE;
        }
        m_hOpen = nullptr;
        m_hNotify = nullptr;
        m_queue.clear();
        pending.swap(m_deliveries);
        for (auto& pDelivery : pending)
        {
            if (!pDelivery->bDelivered)
                ++nCancelled;
            SetEvent(pDelivery->hCancel);
        }
    }
    // Joined outside the lock, which the delivery threads need to finish. Once
    // Close returns, nothing of ours touches the caller's event any more.
    for (auto& pDelivery : pending)
    {
        WaitForSingleObject(pDelivery->hThread, INFINITE);
        ReleaseDelivery(*pDelivery);
    }
    m_trace.Line("FT_Close dev=%u handle=%p cancelled=%u status=%lu", m_nIndex, h, nCancelled, FT_OK);
    return FT_OK;
}

void CSimDevice::PutText(char* pchBuffer, size_t nSize, const std::string& text) const
{
    if (pchBuffer == nullptr)
        return;
    if (m_scenario.bUntrustedEepromTexts)
        FillUnterminated(pchBuffer, nSize, text);
    else
        CopyTerminated(pchBuffer, nSize, text);
}

FT_STATUS CSimDevice::EeRead(FT_HANDLE h, FT_PROGRAM_DATA* pData)
{
    CSingleLock lock(m_cs);
    FT_STATUS status = IsOpenAs(h) ? m_scenario.eeReadStatus : FT_INVALID_HANDLE;
    if (status == FT_OK && pData == nullptr)
        status = FT_INVALID_PARAMETER;
    if (status == FT_OK)
    {
        pData->VendorId = m_scenario.wVendorId;
        pData->ProductId = m_scenario.wProductId;
        PutText(pData->Manufacturer, kManufacturerSize, m_scenario.manufacturer);
        PutText(pData->ManufacturerId, kManufacturerIdSize, m_scenario.manufacturerId);
        PutText(pData->Description, kDescriptionSize, m_scenario.eeDescription);
        PutText(pData->SerialNumber, kSerialSize, m_scenario.serialNumber);
    }
    m_trace.Line("FT_EE_Read dev=%u vid=0x%04X pid=0x%04X serial=%s status=%lu", m_nIndex, m_scenario.wVendorId,
                 m_scenario.wProductId,
                 CTrace::Quoted(m_scenario.serialNumber.data(), m_scenario.serialNumber.size()).c_str(), status);
    return status;
}

FT_STATUS CSimDevice::SetEventNotification(FT_HANDLE h, DWORD dwEventMask, PVOID pParam)
{
    CSingleLock lock(m_cs);
    FT_STATUS status = IsOpenAs(h) ? m_scenario.notifyStatus : FT_INVALID_HANDLE;
    if (status == FT_OK)
        m_hNotify = (dwEventMask & FT_EVENT_RXCHAR) ? static_cast<HANDLE>(pParam) : nullptr;
    m_trace.Line("FT_SetEventNotification dev=%u mask=0x%lX event=%p status=%lu", m_nIndex, dwEventMask, pParam,
                 status);
    return status;
}

FT_STATUS CSimDevice::Write(FT_HANDLE h, LPVOID pBuffer, DWORD dwToWrite, LPDWORD pdwWritten)
{
    CSingleLock lock(m_cs);
    FT_STATUS status = IsOpenAs(h) ? m_scenario.writeStatus : FT_INVALID_HANDLE;
    if (status == FT_OK && ((pBuffer == nullptr && dwToWrite > 0) || pdwWritten == nullptr))
        status = FT_INVALID_PARAMETER;
    ReapFinishedDeliveries();

    std::unique_ptr<Delivery> pDelivery;
    if (status == FT_OK && IsIdentityRequest(pBuffer, dwToWrite) && !m_scenario.bSilent && !m_scenario.answer.empty())
        status = StartDelivery(h, pDelivery);

    m_trace.Line("FT_Write dev=%u n=%lu hex=%s status=%lu", m_nIndex, dwToWrite,
                 pBuffer != nullptr ? CTrace::Hex(pBuffer, dwToWrite).c_str() : "", status);
    if (status != FT_OK)
        return status;
    *pdwWritten = dwToWrite;

    // The delivery thread has started before the write's own time is taken:
    // a new thread's start-up (every library's thread attach, some tenths of
    // a millisecond in a program with a window) is FT_Write's time, not the
    // answer's, also where no processor is free to run it meanwhile. The
    // thread reads that time under the lock, which this call holds until it
    // returns, so its latency counts from the moment FT_Write returns.
    if (pDelivery)
    {
        ResumeThread(pDelivery->hThread);
        WaitForSingleObject(pDelivery->hStarted, INFINITE);
        pDelivery->llWriteReturned = Now();
        m_deliveries.push_back(std::move(pDelivery));
    }
    return FT_OK;
}

FT_STATUS CSimDevice::StartDelivery(FT_HANDLE hOwner, std::unique_ptr<Delivery>& pStarted)
{
    auto pDelivery = std::make_unique<Delivery>();
    pDelivery->pDevice = this;
    pDelivery->hOwner = hOwner;
    pDelivery->hCancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    pDelivery->hStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The thread keeps the library loaded until it has left our code; it
    // lets go with FreeLibraryAndExitThread.
    if (pDelivery->hCancel == nullptr || pDelivery->hStarted == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, kIdentityRequest, &pDelivery->hModule))
    {
        ReleaseDelivery(*pDelivery);
        return FT_INSUFFICIENT_RESOURCES;
    }
    pDelivery->hThread = CreateThread(nullptr, 0, DeliveryThread, pDelivery.get(), CREATE_SUSPENDED, nullptr);
    if (pDelivery->hThread == nullptr)
    {
        FreeLibrary(pDelivery->hModule);
        ReleaseDelivery(*pDelivery);
        return FT_INSUFFICIENT_RESOURCES;
    }
    pStarted = std::move(pDelivery);
    return FT_OK;
}

DWORD WINAPI CSimDevice::DeliveryThread(LPVOID pParam)
{
    Delivery* pDelivery = static_cast<Delivery*>(pParam);
    HMODULE hModule = pDelivery->hModule;
    SetEvent(pDelivery->hStarted);
    pDelivery->pDevice->Deliver(*pDelivery);
    FreeLibraryAndExitThread(hModule, 0);
}

void CSimDevice::Deliver(Delivery& delivery)
{
    LONGLONG llDeadline = 0;
    {
        CSingleLock lock(m_cs);
        llDeadline = delivery.llWriteReturned + MsToTicks(m_scenario.dwLatencyMs);
    }
    size_t nChunks = std::max<size_t>(1, std::min<size_t>(m_scenario.nChunks, m_scenario.answer.size()));
    size_t nOffset = 0;
    for (size_t nChunk = 0; nChunk < nChunks; ++nChunk)
    {
        if (!WaitUntil(delivery.hCancel, llDeadline))
            return;
        size_t nSize = m_scenario.answer.size() / nChunks + (nChunk < m_scenario.answer.size() % nChunks ? 1 : 0);
        LONGLONG llSignal = 0;
        {
            CSingleLock lock(m_cs);
            if (m_hOpen != delivery.hOwner)
                return;
            m_queue.append(m_scenario.answer, nOffset, nSize);
            delivery.bDelivered = nChunk + 1 == nChunks;
            // Taken before the event is set, so a waiter that wakes at once
            // never reads a signal time later than its own wake-up.
            llSignal = Now();
            if (m_hNotify != nullptr)
                SetEvent(m_hNotify);
            // Still under the lock: a caller woken by the event traces its
            // next call on this device only after this line.
            m_trace.Line("SIM_Signal dev=%u chunk=%u/%u n=%u queued=%u thread=%lu write_qpc=%lld signal_qpc=%lld",
                         m_nIndex, static_cast<unsigned>(nChunk + 1), static_cast<unsigned>(nChunks),
                         static_cast<unsigned>(nSize), static_cast<unsigned>(m_queue.size()), GetCurrentThreadId(),
                         delivery.llWriteReturned, llSignal);
        }
        nOffset += nSize;
        llDeadline = Now() + MsToTicks(m_scenario.dwChunkGapMs);
    }
}

void CSimDevice::ReapFinishedDeliveries()
{
    auto firstFinished = std::remove_if(m_deliveries.begin(), m_deliveries.end(), [](std::unique_ptr<Delivery>& p) {
        if (WaitForSingleObject(p->hThread, 0) != WAIT_OBJECT_0)
            return false;
        ReleaseDelivery(*p);
        return true;
    });
    m_deliveries.erase(firstFinished, m_deliveries.end());
}

void CSimDevice::ReleaseDelivery(Delivery& delivery)
{
    if (delivery.hThread != nullptr)
        CloseHandle(delivery.hThread);
    if (delivery.hCancel != nullptr)
        CloseHandle(delivery.hCancel);
    if (delivery.hStarted != nullptr)
        CloseHandle(delivery.hStarted);
    delivery.hThread = nullptr;
    delivery.hCancel = nullptr;
    delivery.hStarted = nullptr;
}

FT_STATUS CSimDevice::GetQueueStatus(FT_HANDLE h, DWORD* pdwRxBytes)
{
    CSingleLock lock(m_cs);
    FT_STATUS status = IsOpenAs(h) ? m_scenario.queueStatus : FT_INVALID_HANDLE;
    if (status == FT_OK && pdwRxBytes == nullptr)
        status = FT_INVALID_PARAMETER;
    if (status == FT_OK)
        *pdwRxBytes = static_cast<DWORD>(m_queue.size());
    m_trace.Line("FT_GetQueueStatus dev=%u queued=%u status=%lu", m_nIndex, static_cast<unsigned>(m_queue.size()),
                 status);
    return status;
}

FT_STATUS CSimDevice::Read(FT_HANDLE h, LPVOID pBuffer, DWORD dwToRead, LPDWORD pdwReturned)
{
    CSingleLock lock(m_cs);
    FT_STATUS status = IsOpenAs(h) ? m_scenario.readStatus : FT_INVALID_HANDLE;
    if (status == FT_OK && ((pBuffer == nullptr && dwToRead > 0) || pdwReturned == nullptr))
        status = FT_INVALID_PARAMETER;
    size_t nCopied = 0;
    DWORD dwReported = 0;
    std::string hex;
    if (status == FT_OK)
    {
        // Never more than asked is written: the over-report lies only in the
        // count, which is what a robustness test of the caller needs.
        nCopied = std::min<size_t>(dwToRead, m_queue.size());
        if (nCopied > 0)
            memcpy(pBuffer, m_queue.data(), nCopied);
        hex = CTrace::Hex(m_queue.data(), nCopied);
        m_queue.erase(0, nCopied);
        dwReported =
            m_scenario.dwReadOverreport != 0 ? dwToRead + m_scenario.dwReadOverreport : static_cast<DWORD>(nCopied);
        *pdwReturned = dwReported;
    }
    m_trace.Line("FT_Read dev=%u asked=%lu n=%u returned=%lu hex=%s status=%lu", m_nIndex, dwToRead,
                 static_cast<unsigned>(nCopied), dwReported, hex.c_str(), status);
    return status;
}
