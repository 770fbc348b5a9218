#include "support/Fixtures.h"

#include <fstream>
#include <sstream>

namespace
{
VOID WINAPI NoPause(DWORD /*dwMilliseconds*/)
{
}

DWORD WINAPI WaitWithoutTime(DWORD nCount, const HANDLE* pHandles, BOOL bWaitAll, DWORD /*dwMilliseconds*/)
{
    return ::WaitForMultipleObjects(nCount, pHandles, bWaitAll, 0);
}
} // namespace

NoReceivePause::NoReceivePause() : m_sleep(g_SystemCalls.Sleep, NoPause)
{
}

NoAnswerWait::NoAnswerWait() : m_wait(g_SystemCalls.WaitForMultipleObjects, WaitWithoutTime)
{
}

DeviceTableOverride::DeviceTableOverride(std::vector<DEVICE_INFO> entries)
    : m_entries(std::move(entries)), m_saved(g_DeviceTable)
{
    g_DeviceTable = {m_entries.data(), static_cast<UINT>(m_entries.size())};
}

DeviceTableOverride::~DeviceTableOverride()
{
    g_DeviceTable = m_saved;
}

ScenarioFile::ScenarioFile(const std::string& text, const std::string& name) : m_path(TempDirectory() + "\\" + name)
{
    WriteFileBytes(m_path, text);
    SetEnv("USBSIM_SCENARIO", m_path);
}

ScenarioFile::~ScenarioFile()
{
    SetEnv("USBSIM_SCENARIO", "");
    DeleteFileIfAny(m_path);
}

TraceFile::TraceFile()
{
    static int s_nTrace = 0;
    m_path = TempDirectory() + "\\trace-" + std::to_string(++s_nTrace) + ".txt";
    DeleteFileIfAny(m_path);
    SetEnv("USBSIM_TRACE", m_path);
}

TraceFile::~TraceFile()
{
    SetEnv("USBSIM_TRACE", "");
    DeleteFileIfAny(m_path);
}

std::vector<std::string> TraceFile::Lines() const
{
    return SplitLines(NormalizeLineEnds(ReadFileBytes(m_path)));
}

std::vector<std::string> TraceFile::Calls(const std::string& call) const
{
    std::vector<std::string> calls;
    for (const std::string& line : Lines())
    {
        if (line.compare(0, call.size() + 1, call + " ") == 0)
            calls.push_back(line);
    }
    return calls;
}

std::string TraceValue(const std::string& line, const std::string& name)
{
    const size_t nAt = line.rfind(" " + name + "=");
    if (nAt == std::string::npos)
        return std::string();
    const size_t nValue = nAt + name.size() + 2;
    return line.substr(nValue, line.find(' ', nValue) - nValue);
}

DeviceHold::DeviceHold()
{
    static LONG s_nSerial = 0;
    m_name = "usbtest-hold-device-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(::InterlockedIncrement(&s_nSerial));
    m_hEvent = ::CreateEventA(nullptr, TRUE, FALSE, m_name.c_str());
}

DeviceHold::~DeviceHold()
{
    Release();
    ::CloseHandle(m_hEvent);
}

std::string WinePath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    for (char& ch : path)
    {
        if (ch == '/')
            ch = '\\';
    }
    return path;
}

std::string SimulatorLibrary(const char* pszFile)
{
    return WinePath(TEST_SIMULATOR_DIR) + "\\" + pszFile;
}

std::string Simulator64Library()
{
    return WinePath(TEST_X64_DIR) + "\\simulator\\KT480_D2XX.DLL";
}

std::string BuildDir()
{
    return WinePath(TEST_EXE_DIR);
}

std::string SystemDirectory()
{
    char sz[MAX_PATH] = {};
    ::GetSystemDirectoryA(sz, MAX_PATH);
    return sz;
}

std::string WindowsDirectory()
{
    char sz[MAX_PATH] = {};
    ::GetWindowsDirectoryA(sz, MAX_PATH);
    return sz;
}

bool RunsUnderWow64()
{
    BOOL bWow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &bWow64) && bWow64;
}

std::string NativeSystemDirectory()
{
    return RunsUnderWow64() ? WindowsDirectory() + "\\Sysnative" : SystemDirectory();
}

std::string TempDirectory()
{
    static std::string directory;
    if (directory.empty())
    {
        char szTemp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, szTemp);
        std::ostringstream name;
        name << szTemp << "usbtest-" << ::GetCurrentProcessId();
        directory = name.str();
        ::CreateDirectoryA(directory.c_str(), nullptr);
    }
    return directory;
}

ScratchFolder::ScratchFolder(const std::string& name) : m_path(TempDirectory() + "\\" + name)
{
    Empty();
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    Empty();
    ::RemoveDirectoryA(m_path.c_str());
}

void ScratchFolder::Empty() const
{
    for (const std::string& file : FilesIn(m_path))
        DeleteFileIfAny(m_path + "\\" + file);
}

std::wstring Wide(const std::string& utf8)
{
    std::vector<WCHAR> wide(utf8.size() + 1);
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    return wide.data();
}

std::string Utf8(const std::wstring& wide)
{
    std::vector<char> utf8(wide.size() * 3 + 1);
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8.data();
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found = {};
    const HANDLE hFind = ::FindFirstFileW(Wide(folder + "\\" + pattern).c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        const std::string name = Utf8(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileW(hFind, &found));
    ::FindClose(hFind);
    return names;
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += "[" + text + "] ";
    return joined;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream file(Wide(path).c_str(), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string ManifestOf(const std::string& exe)
{
    const HMODULE hExe = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (hExe == nullptr)
        return std::string();
    const HRSRC hRes = ::FindResourceA(hExe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /*RT_MANIFEST*/);
    const char* pText = hRes != nullptr ? static_cast<const char*>(::LockResource(::LoadResource(hExe, hRes))) : "";
    const std::string manifest(pText, hRes != nullptr ? ::SizeofResource(hExe, hRes) : 0);
    ::FreeLibrary(hExe);
    return manifest;
}

std::vector<BYTE> VersionBlockOf(const std::string& exe)
{
    DWORD dwHandle = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeA(exe.c_str(), &dwHandle));
    if (!block.empty() && !::GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
        block.clear();
    return block;
}

VS_FIXEDFILEINFO FixedVersionOf(const std::vector<BYTE>& block)
{
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT cbFixed = 0;
    if (block.empty() || !::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &cbFixed) ||
        cbFixed < sizeof(VS_FIXEDFILEINFO))
        return VS_FIXEDFILEINFO();
    return *pFixed;
}

std::string VersionStringOf(const std::vector<BYTE>& block, const std::string& name)
{
    char* pszValue = nullptr;
    UINT cchValue = 0;
    const std::string path = "\\StringFileInfo\\040704b0\\" + name;
    if (block.empty() || !::VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&pszValue), &cchValue))
        return "<none>";
    return pszValue;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream file(Wide(path).c_str(), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteFileIfAny(const std::string& path)
{
    ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(Wide(path).c_str());
}

namespace
{
void DeleteSubtree(HKEY hParent, const std::string& name)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(hParent, name.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    for (;;)
    {
        char szChild[512];
        DWORD cchChild = sizeof(szChild);
        if (::RegEnumKeyExA(hKey, 0, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DeleteSubtree(hKey, szChild);
        // A child that cannot be deleted would loop forever.
        char szAgain[512];
        DWORD cchAgain = sizeof(szAgain);
        if (::RegEnumKeyExA(hKey, 0, szAgain, &cchAgain, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            std::string(szAgain) == szChild)
            break;
    }
    ::RegCloseKey(hKey);
    ::RegDeleteKeyA(hParent, name.c_str());
}
} // namespace

void DeleteRegistryTree(const std::string& path)
{
    DeleteSubtree(HKEY_LOCAL_MACHINE, path);
}

std::string WindowText(HWND hwnd)
{
    const UINT kTimeoutMs = 30000;
    DWORD_PTR dwLength = 0;
    ::SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kTimeoutMs, &dwLength);
    std::vector<char> buffer(dwLength + 1, '\0');
    DWORD_PTR dwCopied = 0;
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL,
                          kTimeoutMs, &dwCopied);
    return std::string(buffer.data(), dwCopied <= dwLength ? dwCopied : dwLength);
}

bool HasFocusAndCaret(HWND hwnd)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(hwnd, nullptr), &gti) && gti.hwndFocus == hwnd &&
           gti.hwndCaret == hwnd;
}

HWND FocusOfThread(HWND hwnd)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(hwnd, nullptr), &gti) ? gti.hwndFocus : nullptr;
}

namespace
{
struct ProcessWindows
{
    DWORD dwProcessId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindowOfProcess(HWND hwnd, LPARAM lParam)
{
    ProcessWindows* pFound = reinterpret_cast<ProcessWindows*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hwnd, &dwProcessId);
    if (dwProcessId == pFound->dwProcessId)
        pFound->windows.push_back(hwnd);
    return TRUE;
}
} // namespace

std::vector<HWND> WindowsOf(DWORD dwProcessId)
{
    ProcessWindows found = {dwProcessId, {}};
    ::EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

std::string NormalizeLineEnds(const std::string& text)
{
    std::string normalized;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\r')
        {
            normalized += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        }
        else
        {
            normalized += text[i];
        }
    }
    return normalized;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string ReportedSystemText(DWORD dwCode)
{
    LPSTR pszText = nullptr;
    const DWORD dwLength = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszText), 0, nullptr);
    std::string text = dwLength != 0 && pszText != nullptr ? std::string(pszText, dwLength) : std::string();
    if (pszText != nullptr)
        ::LocalFree(pszText);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return NormalizeLineEnds(text);
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, const std::string& part)
{
    size_t nCount = 0;
    for (size_t nAt = text.find(part); nAt != std::string::npos; nAt = text.find(part, nAt + part.size()))
        ++nCount;
    return nCount;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool PollUntil(DWORD dwDeadline, const std::function<bool()>& pred)
{
    for (;;)
    {
        if (pred())
            return true;
        if (static_cast<LONG>(::GetTickCount() - dwDeadline) >= 0)
            return false;
        ::Sleep(10);
    }
}

bool StartProcess(const std::string& exe, const std::string& arguments, const char* pszCurrentDir,
                  PROCESS_INFORMATION& process)
{
    std::wstring commandLine = Wide("\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments));
    const std::wstring currentDir = Wide(pszCurrentDir != nullptr ? pszCurrentDir : "");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (::CreateProcessW(Wide(exe).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                         pszCurrentDir != nullptr ? currentDir.c_str() : nullptr, &startup, &process))
        return true;
    process = PROCESS_INFORMATION();
    return false;
}

void EndProcess(PROCESS_INFORMATION& process, DWORD dwTimeoutMs, UINT uExitCode)
{
    if (process.hProcess == nullptr)
        return;
    if (::WaitForSingleObject(process.hProcess, dwTimeoutMs) != WAIT_OBJECT_0)
        ::TerminateProcess(process.hProcess, uExitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    process = PROCESS_INFORMATION();
}

DWORD CallInProcess(HANDLE hProcess, const char* pszFunction, const std::string& argument)
{
    const auto pfnFunction = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), pszFunction)));
    if (pfnFunction == nullptr)
        return STILL_ACTIVE;
    void* pArgument = nullptr;
    if (!argument.empty())
    {
        pArgument = ::VirtualAllocEx(hProcess, nullptr, argument.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (pArgument == nullptr)
            return STILL_ACTIVE;
    }
    DWORD dwResult = STILL_ACTIVE;
    const HANDLE hThread = pArgument == nullptr || ::WriteProcessMemory(hProcess, pArgument, argument.c_str(),
                                                                        argument.size() + 1, nullptr)
                               ? ::CreateRemoteThread(hProcess, nullptr, 0, pfnFunction, pArgument, 0, nullptr)
                               : nullptr;
    if (hThread != nullptr)
    {
        if (::WaitForSingleObject(hThread, kStateWaitMs) == WAIT_OBJECT_0)
            ::GetExitCodeThread(hThread, &dwResult);
        ::CloseHandle(hThread);
    }
    if (pArgument != nullptr)
        ::VirtualFreeEx(hProcess, pArgument, 0, MEM_RELEASE);
    return dwResult;
}

void SetEnv(const char* pszName, const std::string& value)
{
    ::SetEnvironmentVariableA(pszName, value.empty() ? nullptr : value.c_str());
}
