#include "support/HeldFile.h"

#include <sstream>

namespace
{
std::string HolderPath()
{
    char szModule[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szModule, MAX_PATH);
    std::string path = szModule;
    return path.substr(0, path.find_last_of('\\') + 1) + "file_holder.exe";
}
} // namespace

HeldFile::HeldFile(const std::string& path, bool bViewer)
{
    static LONG s_nSerial = 0;
    std::ostringstream prefix;
    prefix << "usbtest-hold-" << ::GetCurrentProcessId() << "-" << ::InterlockedIncrement(&s_nSerial);
    const std::string readyName = prefix.str() + "-ready";
    const std::string releaseName = prefix.str() + "-release";
    m_hReady = ::CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    m_hRelease = ::CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    if (m_hReady == nullptr || m_hRelease == nullptr)
        return;

    if (!StartProcess(HolderPath(), "\"" + path + "\" " + readyName + " " + releaseName + (bViewer ? " viewer" : ""),
                      nullptr, m_process))
        return;
    const HANDLE waits[] = {m_hReady, m_process.hProcess};
    m_bHolding = ::WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
}

HeldFile::~HeldFile()
{
    if (m_hRelease != nullptr)
        ::SetEvent(m_hRelease);
    EndProcess(m_process, 60000, 1);
    if (m_hRelease != nullptr)
        ::CloseHandle(m_hRelease);
    if (m_hReady != nullptr)
        ::CloseHandle(m_hReady);
}
