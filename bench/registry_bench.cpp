// The two registry checks over a crowded USB enumeration key: 500 and then
// 5,000 device keys that sort before the supported device's key, which has
// three installed instances. Times CheckCommonRegistry + CheckDeviceRegistry
// (through a recording writer) and, as the floor, a bare loop of the same
// registry and file calls without report writes, at both sizes, and prints
// how the check's cost grows against the floor's.
#include "bench/BenchCommon.h"
#include "checks/CommonRegistry.h"
#include "checks/DeviceRegistry.h"
#include "support/RegistryFixture.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
const int kSmallCount = 500;
const int kLargeCount = 5000;
const int kInstances = 3;
const int kRepeats = 9;
const double kGoalRatio = 1.2;

// Keys "Vid_0000&Pid_%04X" sort before Vid_0403&Pid_B7E4. Created relative to
// the open USB key: one path lookup less per key.
bool AddOtherDeviceKeys(int nFrom, int nTo)
{
    HKEY hUsb = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbEnumKey, 0, KEY_ALL_ACCESS, &hUsb) != ERROR_SUCCESS)
        return false;
    bool bOk = true;
    for (int i = nFrom; i < nTo && bOk; ++i)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "Vid_0000&Pid_%04X", i);
        HKEY hKey = nullptr;
        bOk = ::RegCreateKeyExA(hUsb, szName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) == ERROR_SUCCESS;
        if (bOk)
            ::RegCloseKey(hKey);
    }
    ::RegCloseKey(hUsb);
    return bOk;
}

bool SearchFile(const std::string& path)
{
    WIN32_FIND_DATAA findData;
    const HANDLE hFind = ::FindFirstFileA(path.c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(hFind);
    return true;
}

std::string QueryText(HKEY hKey, const char* pszName, DWORD cbMax)
{
    char buffer[257] = {};
    DWORD cbData = cbMax;
    if (::RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &cbData) != ERROR_SUCCESS)
        return std::string();
    return std::string(buffer, std::min<DWORD>(cbData, cbMax)).c_str();
}

// The calls both checks make, in their order, and nothing else. Returns the
// number of files found, so the work cannot be left out.
int BareRegistryCalls()
{
    int nFound = 0;
    char szSystem[256];
    char szWindows[256];

    HKEY hUsb = nullptr;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUsbEnumKey, 0, KEY_READ, &hUsb);
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szName[255];
        DWORD cchName = sizeof(szName);
        if (::RegEnumKeyExA(hUsb, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (::lstrcmpiA(szName, kDeviceKeyName) != 0)
            continue;
        HKEY hDevice = nullptr;
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath(szName).c_str(), 0, KEY_READ, &hDevice);
        DWORD dwSubkeys = 0;
        ::RegQueryInfoKeyA(hDevice, nullptr, nullptr, nullptr, &dwSubkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
        ::RegCloseKey(hDevice);
        ::GetSystemDirectoryA(szSystem, sizeof(szSystem));
        for (const char* pszFile : {kDriverLibrary, kUninstaller, kUninstallIni})
            nFound += SearchFile(std::string(szSystem) + "\\" + pszFile) ? 1 : 0;
        break;
    }
    ::RegCloseKey(hUsb);

    ::GetSystemDirectoryA(szSystem, sizeof(szSystem));
    ::GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    HKEY hDevice = nullptr;
    ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath().c_str(), 0, KEY_READ, &hDevice);
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szInstance[255];
        DWORD cchInstance = sizeof(szInstance);
        if (::RegEnumKeyExA(hDevice, dwIndex, szInstance, &cchInstance, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        HKEY hInstance = nullptr;
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (DeviceKeyPath() + "\\" + szInstance).c_str(), 0, KEY_READ, &hInstance);
        const std::string driver = QueryText(hInstance, "Driver", 255);
        ::RegCloseKey(hInstance);
        HKEY hClass = nullptr;
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kClassRoot) + "\\" + driver).c_str(), 0, KEY_READ, &hClass);
        nFound += SearchFile(std::string(szSystem) + "\\Drivers\\" + QueryText(hClass, "NTMPDriver", 256)) ? 1 : 0;
        nFound += SearchFile(std::string(szWindows) + "\\inf\\" + QueryText(hClass, "InfPath", 256)) ? 1 : 0;
        ::RegCloseKey(hClass);
    }
    ::RegCloseKey(hDevice);
    return nFound;
}

struct Timing
{
    double dCheckMs;
    double dFloorMs;
};

Timing Measure(RecordingWriter& writer, bool& bSound)
{
    std::vector<double> checks;
    std::vector<double> floors;
    for (int nRepeat = 0; nRepeat < kRepeats; ++nRepeat)
    {
        writer.Clear();
        double dStart = NowMs();
        const CheckResult common = CheckCommonRegistry(writer, g_SupportedDevices[0]);
        const CheckResult device = CheckDeviceRegistry(writer, g_SupportedDevices[0]);
        checks.push_back(NowMs() - dStart);
        bSound = bSound && common.kind == RESULT_OK && device.kind == RESULT_OK;

        dStart = NowMs();
        const int nFound = BareRegistryCalls();
        floors.push_back(NowMs() - dStart);
        bSound = bSound && nFound == 3 + 2 * kInstances;
    }
    return {Median(checks), Median(floors)};
}
} // namespace

int main()
{
    AfxInitRichEdit();
    InstallationSandbox sandbox;
    sandbox.CreateKey(kUsbEnumKey);
    for (int i = 0; i < kInstances; ++i)
    {
        const std::string suffix = std::to_string(i);
        sandbox.AddInstance("KT000" + suffix, i, "kt480t" + suffix + ".sys", "oemkt480t" + suffix + ".inf");
        sandbox.PutFile(DriverFilePath("kt480t" + suffix + ".sys"));
        sandbox.PutFile(InfFilePath("oemkt480t" + suffix + ".inf"));
    }
    sandbox.PutCommonFiles();

    RecordingWriter writer;
    bool bSound = true;

    double dStart = NowMs();
    bSound = AddOtherDeviceKeys(0, kSmallCount) && bSound;
    const double dSmallSetupMs = NowMs() - dStart;
    const Timing small = Measure(writer, bSound);
    const std::string report = writer.Text(false);

    dStart = NowMs();
    bSound = AddOtherDeviceKeys(kSmallCount, kLargeCount) && bSound;
    const double dLargeSetupMs = NowMs() - dStart;
    const Timing large = Measure(writer, bSound);

    const double dCheckGrowth = large.dCheckMs / small.dCheckMs;
    const double dFloorGrowth = large.dFloorMs / small.dFloorMs;
    std::printf("registry checks over a crowded USB enumeration key (median of %d runs, simple view)\n", kRepeats);
    std::printf("  setup: %d keys in %.0f ms, %d more in %.0f ms\n", kSmallCount, dSmallSetupMs,
                kLargeCount - kSmallCount, dLargeSetupMs);
    std::printf("  %5d keys: checks %8.2f ms   floor %8.2f ms\n", kSmallCount, small.dCheckMs, small.dFloorMs);
    std::printf("  %5d keys: checks %8.2f ms   floor %8.2f ms\n", kLargeCount, large.dCheckMs, large.dFloorMs);
    std::printf("  per added key: checks %.2f us, floor %.2f us\n",
                (large.dCheckMs - small.dCheckMs) * 1000.0 / (kLargeCount - kSmallCount),
                (large.dFloorMs - small.dFloorMs) * 1000.0 / (kLargeCount - kSmallCount));
    std::printf("  growth 500 -> 5,000 keys: checks %.2fx, floor %.2fx\n", dCheckGrowth, dFloorGrowth);
    std::printf("  check growth / floor growth: %.2f (goal: at most %.1f, growth linear like the floor's)\n",
                dCheckGrowth / dFloorGrowth, kGoalRatio);
    if (!bSound)
    {
        std::printf("  NOT SOUND: a check failed or a file was not found; the report of the first size:\n%s\n",
                    report.c_str());
        return 1;
    }
    return 0;
}
