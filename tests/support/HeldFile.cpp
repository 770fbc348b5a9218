#include "support/HeldFile.h"

HeldFile::HeldFile(const std::string& path, DWORD dwReleaseAfterMs, bool bViewer)
    : m_hFile(::CreateFileW(Wide(path).c_str(), bViewer ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                            bViewer ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
{
    if (dwReleaseAfterMs != INFINITE)
        m_release = std::thread([this, dwReleaseAfterMs] {
            ::Sleep(dwReleaseAfterMs);
            Release();
        });
}

HeldFile::~HeldFile()
{
    if (m_release.joinable())
        m_release.join();
    Release();
}

void HeldFile::Release()
{
    const HANDLE hFile = ::InterlockedExchangePointer(const_cast<HANDLE*>(&m_hFile), INVALID_HANDLE_VALUE);
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
}
