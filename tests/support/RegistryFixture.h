// What the registry tests and the registry benchmark share: a sandbox that
// builds an installation (USB keys, class keys, files) in the Wine prefix and
// takes it away again, the lines the checks write, and a spy that checks
// every key and search handle is given back.
#pragma once

#include "framework/SystemCalls.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/RecordingWriter.h"

#include <string>
#include <vector>

extern const char kUsbEnumKey[];    // System\CurrentControlSet\Enum\USB
extern const char kDeviceKeyName[]; // Vid_0403&Pid_B7E4
extern const char kClassRoot[];     // System\CurrentControlSet\Control\Class
extern const char kDriverLibrary[]; // the three files of the common check
extern const char kUninstaller[];
extern const char kUninstallIni[];

// The headings of the two checks for the supported device, and of an instance.
extern const std::string kCommonHeading;
extern const std::string kDeviceHeading;
std::string InstanceHeading(const std::string& instance);

std::string DeviceKeyPath(const std::string& deviceKeyName = kDeviceKeyName);
// The driver and INF files of the tests' instance n.
std::string TestDriverFile(int n); // kt480t<n>.sys
std::string TestInfFile(int n);    // oemkt480t<n>.inf
// The "Driver" value of the test class's key number n: "{guid}\000n".
std::string TestDriverValue(int nClassKey);

std::string SystemFilePath(const std::string& name); // <system>\name
// <system>\Drivers\name in the native system directory, where a 64-bit
// driver package puts its kernel driver also under WOW64.
std::string DriverFilePath(const std::string& name);
std::string InfFilePath(const std::string& name); // <windows>\inf\name

// The installation as the tests want it. On construction it takes away what
// the checks look at (the USB enumeration key, the three files of the common
// check, the test class) and keeps it in the prefix; on destruction it removes
// all it made and puts back what it took, on every path a test can leave by.
// What a sandbox whose test was killed left behind, the next one puts back as
// it was before that test, before it takes anything away itself.
class InstallationSandbox : NonCopyable
{
public:
    InstallationSandbox();
    ~InstallationSandbox();

    // HKEY_LOCAL_MACHINE\path with its parents. Fails the test on error.
    void CreateKey(const std::string& path);
    // A child created relative to its parent, for names too long for a full path.
    void CreateChildKey(const std::string& parentPath, const std::string& childName);
    // A value with exactly these bytes: a byte that is not zero stands behind
    // them, so the registry does not add a terminator the test did not give.
    void SetValue(const std::string& keyPath, const std::string& name, DWORD dwType, const std::string& bytes);
    // A text value with its terminating zero.
    void SetText(const std::string& keyPath, const std::string& name, const std::string& text);

    // An instance below the device key with "Driver" = TestDriverValue(n), and
    // the class key n with "NTMPDriver" and "InfPath" (an empty name leaves the
    // value out).
    void AddInstance(const std::string& instance, int nClassKey, const std::string& driverFile,
                     const std::string& infFile, const std::string& deviceKeyName = kDeviceKeyName);
    // Instance "000<n>" of class key n, with TestDriverFile(n) and
    // TestInfFile(n) in place.
    void PutInstance(int n);
    // The top key of a class key outside the test class, removed at the end.
    void OwnClassKey(const std::string& topName);

    // A file of a few bytes; taken away again at the end.
    void PutFile(const std::string& path);
    void PutCommonFiles(); // the three files of the common check
    // A copy of an existing file; taken away again at the end.
    void PutCopy(const std::string& path, const std::string& source);
    // What the demo's driver setup leaves (scripts/lib/install-demo): one
    // instance SIM00001 with KT480USB.SYS and oem7.inf and the driver's
    // version (kDemoDriverVersion) in its class key, the three files of the
    // common check, and the simulator as the driver library. On 64-bit Windows
    // as a 64-bit driver package leaves it: the common files in both system
    // directories, the 64-bit simulator in the native one and the 32-bit one
    // in SysWOW64, or only one of the two libraries.
    enum class DriverLibraries
    {
        BOTH,
        ONLY_32_BIT,
        ONLY_64_BIT,
    };
    void PutDemoInstallation(DriverLibraries libraries = DriverLibraries::BOTH);

private:
    void GuardFile(const std::string& path);

    std::vector<std::string> m_ownClassKeys;
    std::vector<std::string> m_files;
};

// A registry or file-search call the checks made, as RunCheck saw it.
struct SeamCall
{
    std::string name; // the key path or value name
    LONG lResult;
    DWORD cbData; // value queries: the size the call reported
};
const SeamCall* FindCall(const std::vector<SeamCall>& calls, const std::string& name);

// ---- Expected lines

// The file lines take a letter a file: 'F' found, 'M' not found, 'E' the
// search failed with dwError (the check's last line), '-' a file the device
// table leaves out.

// The common check's heading, its count of devices (none where nDevices is
// -1) and its three files in the table's order.
ExpectedReport& CommonLines(ExpectedReport& e, int nDevices, const char* pszFiles, DWORD dwError = ERROR_ACCESS_DENIED);
// The three file searches of the common check, each found.
ExpectedReport& CommonFilesFound(ExpectedReport& e);
// The driver version line's text for the demo's class key and for one without its values.
extern const char kDemoDriverVersion[]; // "2.12.36.4, 3-4-2024, Simulated Instruments"
extern const char kNoDriverVersion[];   // "not registered"

// An instance's heading, its driver and installation file, and after both
// files its driver version.
ExpectedReport& InstanceLines(ExpectedReport& e, const std::string& instance, const std::string& driverFile,
                              const std::string& infFile, const char* pszFiles, DWORD dwError = ERROR_ACCESS_DENIED,
                              const std::string& driverVersion = kNoDriverVersion);
// The tests' instance n ("000<n>" with TestDriverFile(n) and TestInfFile(n)).
ExpectedReport& InstanceLines(ExpectedReport& e, int n, const char* pszFiles, DWORD dwError = ERROR_ACCESS_DENIED);
// An instance whose two files are both found, from its heading to its "OK".
ExpectedReport& InstanceFilesFound(ExpectedReport& e, const std::string& instance, const std::string& driverFile,
                                   const std::string& infFile, const std::string& driverVersion = kNoDriverVersion);

// ---- Running a check

enum class RegistryCheck
{
    COMMON,
    DEVICE
};

struct CheckOutcome
{
    CheckResult result;                 // of the second run
    std::string text;                   // the report of the second run
    std::vector<SeamCall> keyOpens;     // of the second run
    std::vector<SeamCall> valueQueries; // of the second run
    int nFileSearches;                  // of the second run
};

// Runs the check on an emptied report twice and expects the second run to give
// back every key and search handle it took: none left open by the seam's
// count, and the process's handle count after it equal to the count before
// it, which shows a single handle kept by a run. The first run goes first, so
// that what a process keeps for good (the handle behind a predefined root
// key, say) is not taken for a leak.
// The result given must be the worst one written. The report is writer's,
// shown in the view given; the device is the table's first unless given.
CheckOutcome RunCheck(RecordingWriter& writer, RegistryCheck check, const DEVICE_INFO* pDevice = nullptr,
                      bool bDetailed = true);
