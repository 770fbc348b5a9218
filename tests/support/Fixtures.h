// Test fixtures over the real system: seam overrides, the device table,
// registry keys and files in the Wine prefix, the simulated driver's scenario,
// trace and holds, and paths.
#pragma once

#include "checks/SupportedDevices.h"
#include "framework/SystemCalls.h"

#include <functional>
#include <string>
#include <vector>

// For the holders below, which release what they hold once.
class NonCopyable
{
protected:
    NonCopyable() = default;
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;
};

// Re-points one entry of g_SystemCalls for the holder's lifetime.
template <typename Fn>
class SystemCallOverride : NonCopyable
{
public:
    SystemCallOverride(Fn& slot, Fn replacement) : m_slot(slot), m_saved(slot) { m_slot = replacement; }
    ~SystemCallOverride() { m_slot = m_saved; }

private:
    Fn& m_slot;
    Fn m_saved;
};

// The 200 ms pause before an answer is read, skipped. Only for answers that
// come in one piece: the pause is what lets the later chunks arrive.
class NoReceivePause
{
public:
    NoReceivePause();

private:
    SystemCallOverride<decltype(SystemCalls::Sleep)> m_sleep;
};

// The wait of up to 2 s for an answer's first characters gives up at once
// when neither they nor the dialog's closing have come: for devices that never
// answer, whose wait would otherwise take its whole time.
class NoAnswerWait
{
public:
    NoAnswerWait();

private:
    SystemCallOverride<decltype(SystemCalls::WaitForMultipleObjects)> m_wait;
};

// Points the checks at a device table of the test's own for the holder's lifetime.
class DeviceTableOverride : NonCopyable
{
public:
    explicit DeviceTableOverride(std::vector<DEVICE_INFO> entries);
    ~DeviceTableOverride();

private:
    std::vector<DEVICE_INFO> m_entries;
    DeviceTable m_saved;
};

// Writes the scenario text into the test's folder and names it in
// USBSIM_SCENARIO for the next load of the library; clears it again at the end.
class ScenarioFile : NonCopyable
{
public:
    explicit ScenarioFile(const std::string& text, const std::string& name = "device-scenario.ini");
    ~ScenarioFile();

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The simulator's call trace of the libraries loaded while it lives.
class TraceFile : NonCopyable
{
public:
    TraceFile();
    ~TraceFile();

    std::vector<std::string> Lines() const;
    // The lines that start with the call's name, e.g. "FT_Write".
    std::vector<std::string> Calls(const std::string& call) const;

private:
    std::string m_path;
};

// The value of " name=" in a trace line, up to the next blank; empty when the
// line has none. The names read come after the quoted texts, which may hold
// anything: the last one counts.
std::string TraceValue(const std::string& line, const std::string& name);

// The named event that holds a simulated device at its open ("hold_event =
// Name()" in its scenario section) until Release(); released at the latest
// when the holder goes, so that no run waits on it afterwards.
class DeviceHold : NonCopyable
{
public:
    DeviceHold();
    ~DeviceHold();

    const std::string& Name() const { return m_name; }
    void Hold() { ::ResetEvent(m_hEvent); }
    void Release() { ::SetEvent(m_hEvent); }

    // Releases the hold when it goes. Declared after the harness of a
    // process that the hold may stop, it lets the harness close that process
    // at once when an assertion leaves the test early.
    class ReleaseFirst : NonCopyable
    {
    public:
        explicit ReleaseFirst(DeviceHold& hold) : m_hold(hold) {}
        ~ReleaseFirst() { m_hold.Release(); }

    private:
        DeviceHold& m_hold;
    };

private:
    std::string m_name;
    HANDLE m_hEvent;
};

// A Linux path as Wine sees it (Z:\...).
std::string WinePath(const std::string& unixPath);
// The simulated driver library, or one of its variants; the build folder with
// both programs. The 64-bit build's library is the one 64-bit programs load.
std::string SimulatorLibrary(const char* pszFile = "KT480_D2XX.DLL");
std::string Simulator64Library();
std::string BuildDir();

std::string SystemDirectory();
std::string WindowsDirectory();
// True for this 32-bit process on 64-bit Windows: its system directory is then
// SysWOW64, and the native one is reached as <windows>\Sysnative.
bool RunsUnderWow64();
// The system directory of 64-bit programs on 64-bit Windows (Sysnative under
// WOW64), and the system directory elsewhere.
std::string NativeSystemDirectory();
std::string TempDirectory(); // a fresh folder of this test process

// An empty folder below TempDirectory(), removed with what it holds at the end.
class ScratchFolder : NonCopyable
{
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();

    const std::string& Path() const { return m_path; }

private:
    void Empty() const;

    std::string m_path;
};

// Paths and names in the tests are UTF-8 and reach the system through its
// wide calls: a name outside the ANSI code page stays as it is.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// The names of the files in a folder, or of those that match the pattern.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern = "*.*");
// "[a] [b] ", for failure messages.
std::string Joined(const std::vector<std::string>& texts);

bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
void DeleteFileIfAny(const std::string& path);

// A program's resources, read without running it (also a 64-bit program from
// this 32-bit process): its manifest (type 24, id 1) as text, empty when it has
// none; its version block, empty when it has none; from that, the fixed part
// (all zero when absent) and a string of the German table ("040704b0"),
// "<none>" when absent.
std::string ManifestOf(const std::string& exe);
std::vector<BYTE> VersionBlockOf(const std::string& exe);
VS_FIXEDFILEINFO FixedVersionOf(const std::vector<BYTE>& block);
std::string VersionStringOf(const std::vector<BYTE>& block, const std::string& name);

// Deletes HKEY_LOCAL_MACHINE\path with everything below it; no error when absent.
void DeleteRegistryTree(const std::string& path);

// The system's text for an error code as the report shows it: its trailing
// line ends removed and each paragraph end one "\n"; empty when it has none.
std::string ReportedSystemText(DWORD dwCode);

bool Contains(const std::string& text, const std::string& part);
size_t CountOf(const std::string& text, const std::string& part);
bool EndsWith(const std::string& text, const std::string& tail);

// A window's text, also of another process: WM_GETTEXT is marshalled between
// processes, while GetWindowText gives another process's control only its
// stored caption.
std::string WindowText(HWND hwnd);

// Whether the window holds its thread's keyboard focus and caret; also for
// a window of another process.
bool HasFocusAndCaret(HWND hwnd);
// The window that has the keyboard focus in hwnd's thread, or null.
HWND FocusOfThread(HWND hwnd);

// The top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD dwProcessId);

// Lines of a text, without their "\n".
std::vector<std::string> SplitLines(const std::string& text);
// A control's text with each paragraph end ("\r\n" or "\r") as one "\n".
std::string NormalizeLineEnds(const std::string& text);

// How long a test waits for a state before it fails by name, with what it
// saw: well below the 60 s after which ctest ends a test executable, so that
// only a hang in the product reaches that.
const DWORD kStateWaitMs = 20000;

// Asks pred every 10 ms until it holds (true) or the tick count reaches dwDeadline.
bool PollUntil(DWORD dwDeadline, const std::function<bool()>& pred);
// Serves what a window needs (this thread's messages for a dialog of this
// process, or nothing) until pred() holds or the time is up.
typedef std::function<bool(const std::function<bool()>& pred, DWORD dwTimeoutMs)> WaitFn;

// Starts exe with the arguments in pszCurrentDir (this process's when null);
// process is all null when it did not start.
bool StartProcess(const std::string& exe, const std::string& arguments, const char* pszCurrentDir,
                  PROCESS_INFORMATION& process);
// Waits up to dwTimeoutMs for the process's end, ends it with uExitCode when it
// has not, and closes its handles; nothing for a process that did not start.
void EndProcess(PROCESS_INFORMATION& process, DWORD dwTimeoutMs, UINT uExitCode);

// Runs the kernel32 function on a new thread of another process of this one's
// architecture (kernel32 lies at the same address in each), with a copy of
// the text as its one argument, or with none when the text is empty: what it
// returned, or STILL_ACTIVE when it could not run or did not end in time.
DWORD CallInProcess(HANDLE hProcess, const char* pszFunction, const std::string& argument = std::string());

// Sets an environment variable for this process (and the processes it starts).
void SetEnv(const char* pszName, const std::string& value);
