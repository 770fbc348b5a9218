#include "support/RegistryFixture.h"

#include "checks/CommonRegistry.h"
#include "checks/DeviceRegistry.h"

#include "support/HandleCount.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

const char kUsbEnumKey[] = "System\\CurrentControlSet\\Enum\\USB";
const char kDeviceKeyName[] = "Vid_0403&Pid_B7E4";
const char kClassRoot[] = "System\\CurrentControlSet\\Control\\Class";
const char kDriverLibrary[] = "KT480_D2XX.DLL";
const char kUninstaller[] = "KT480_UNIN.EXE";
const char kUninstallIni[] = "KT480_D2XXUN.INI";
const std::string kCommonHeading = Text::kCommon + std::string(kDeviceKeyName);
const std::string kDeviceHeading = Text::kSpecific + std::string(kDeviceKeyName);

namespace
{
// A class of the tests' own below the class root.
const char kTestClassGuid[] = "{7E57B7E4-0403-4C1A-9E57-0000B7E40403}";
const char kEnumKey[] = "System\\CurrentControlSet\\Enum";
const int kTestFileSlots = 4;

// The key below hParent, created with its parents and open; null, with the
// test failed, on error.
HKEY CreatedKey(HKEY hParent, const std::string& path)
{
    HKEY hKey = nullptr;
    const LONG lResult =
        ::RegCreateKeyExA(hParent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr);
    EXPECT_EQ(lResult, ERROR_SUCCESS) << "creating a key of " << path.size() << " characters: " << path;
    return lResult == ERROR_SUCCESS ? hKey : nullptr;
}

bool KeyExists(const std::string& path)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}
} // namespace

std::string InstanceHeading(const std::string& instance)
{
    return kDeviceHeading + "#" + instance;
}

std::string TestDriverFile(int n)
{
    return "kt480t" + std::to_string(n) + ".sys";
}

std::string TestInfFile(int n)
{
    return "oemkt480t" + std::to_string(n) + ".inf";
}

std::string DeviceKeyPath(const std::string& deviceKeyName)
{
    return std::string(kUsbEnumKey) + "\\" + deviceKeyName;
}

std::string TestDriverValue(int nClassKey)
{
    char szValue[64];
    std::snprintf(szValue, sizeof(szValue), "%s\\%04d", kTestClassGuid, nClassKey);
    return szValue;
}

std::string SystemFilePath(const std::string& name)
{
    return SystemDirectory() + "\\" + name;
}

std::string DriverFilePath(const std::string& name)
{
    return NativeSystemDirectory() + "\\Drivers\\" + name;
}

std::string InfFilePath(const std::string& name)
{
    return WindowsDirectory() + "\\inf\\" + name;
}

// ---- Key snapshots

// A registry key tree held in memory, to take a key away and put it back.
struct KeySnapshot
{
    struct Value
    {
        std::string name;
        DWORD dwType;
        std::string bytes;
    };
    std::string name;
    std::vector<Value> values;
    std::vector<KeySnapshot> children;
};

namespace
{
bool CaptureKey(HKEY hParent, const std::string& name, KeySnapshot& snapshot)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(hParent, name.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    snapshot = KeySnapshot();
    snapshot.name = name;
    DWORD cchMaxValueName = 0;
    DWORD cbMaxData = 0;
    ::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cchMaxValueName,
                       &cbMaxData, nullptr, nullptr);
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        std::string valueName(cchMaxValueName + 2, '\0');
        std::string data(cbMaxData + 2, '\0');
        DWORD cchName = static_cast<DWORD>(valueName.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD dwType = 0;
        if (::RegEnumValueA(hKey, dwIndex, &valueName[0], &cchName, nullptr, &dwType, reinterpret_cast<BYTE*>(&data[0]),
                            &cbData) != ERROR_SUCCESS)
            break;
        snapshot.values.push_back({valueName.substr(0, cchName), dwType, data.substr(0, cbData)});
    }
    bool bComplete = true;
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szChild[512];
        DWORD cchChild = sizeof(szChild);
        if (::RegEnumKeyExA(hKey, dwIndex, szChild, &cchChild, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        snapshot.children.emplace_back();
        bComplete = CaptureKey(hKey, szChild, snapshot.children.back()) && bComplete;
    }
    ::RegCloseKey(hKey);
    return bComplete;
}

bool RestoreKey(HKEY hParent, const KeySnapshot& snapshot)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(hParent, snapshot.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool bComplete = true;
    for (const KeySnapshot::Value& value : snapshot.values)
    {
        bComplete = ::RegSetValueExA(hKey, value.name.c_str(), 0, value.dwType,
                                     reinterpret_cast<const BYTE*>(value.bytes.data()),
                                     static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS &&
                    bComplete;
    }
    for (const KeySnapshot& child : snapshot.children)
        bComplete = RestoreKey(hKey, child) && bComplete;
    ::RegCloseKey(hKey);
    return bComplete;
}
} // namespace

// ---- Sandbox

namespace
{
// What a sandbox keeps in the prefix while it lives, so that a test killed
// before its end leaves what the next sandbox needs to put things back: the
// files it found, moved aside under kSavedSuffix, and its journal key, which
// names the files that were not there (the values of kAbsent) and holds the
// USB enumeration key as it was (kUsb, where there was one; kUsbSaved,
// written last, says that the copy is whole).
const char kSavedSuffix[] = ".sandbox-saved";
const char kJournal[] = "Software\\InstallationSandbox";
const char kAbsent[] = "Absent";
const char kUsb[] = "USB";
const char kUsbSaved[] = "UsbSaved";

// What the journal keeps put back, and the journal removed: the files that
// were not there taken away again, and the USB enumeration key as it was
// where the journal holds it whole (one cut short before leaves the key as it
// is). Gives what was put back.
std::vector<std::string> PutBackJournal()
{
    std::vector<std::string> putBack;
    KeySnapshot journal;
    if (!KeyExists(kJournal))
        return putBack;
    CaptureKey(HKEY_LOCAL_MACHINE, kJournal, journal);
    const bool bUsbSaved = std::any_of(journal.values.begin(), journal.values.end(),
                                       [](const KeySnapshot::Value& value) { return value.name == kUsbSaved; });
    if (bUsbSaved)
    {
        DeleteRegistryTree(kUsbEnumKey);
        putBack.push_back(std::string("HKLM\\") + kUsbEnumKey);
    }
    for (const KeySnapshot& child : journal.children)
    {
        if (child.name == kUsb && bUsbSaved)
        {
            KeySnapshot usb = child;
            usb.name = kUsbEnumKey;
            EXPECT_TRUE(RestoreKey(HKEY_LOCAL_MACHINE, usb)) << "the USB enumeration key was not put back whole";
        }
        else if (child.name == kAbsent)
        {
            for (const KeySnapshot::Value& absent : child.values)
            {
                DeleteFileIfAny(absent.name);
                putBack.push_back(absent.name);
            }
        }
    }
    DeleteRegistryTree(kJournal);
    return putBack;
}

// A file moved aside put back in place of what the test left there; false
// when there was none.
bool PutBackSaved(const std::string& path)
{
    const std::string saved = path + kSavedSuffix;
    if (!FileExists(saved))
        return false;
    DeleteFileIfAny(path);
    ::MoveFileA(saved.c_str(), path.c_str());
    return true;
}

// What a sandbox whose test was killed left: its journal, and the files it
// moved aside in the folders the tests put files into.
void PutBackWhatAKilledTestLeft()
{
    std::vector<std::string> putBack = PutBackJournal();
    for (std::string folder : {SystemFilePath(""), NativeSystemDirectory() + "\\", DriverFilePath(""), InfFilePath("")})
    {
        folder.pop_back();
        for (const std::string& name : FilesIn(folder, std::string("*") + kSavedSuffix))
        {
            const std::string path = folder + "\\" + name.substr(0, name.size() - std::strlen(kSavedSuffix));
            if (PutBackSaved(path))
                putBack.push_back(path);
        }
    }
    if (!putBack.empty())
        std::printf("A test that did not end left its installation behind; put back as before it: %s\n",
                    Joined(putBack).c_str());
}
} // namespace

InstallationSandbox::InstallationSandbox()
{
    // Once a process: its own sandboxes put back all they take away.
    static bool s_bLookedForLeftovers = false;
    if (!s_bLookedForLeftovers)
        PutBackWhatAKilledTestLeft();
    s_bLookedForLeftovers = true;

    // The USB enumeration key is taken away only once its copy in the journal
    // is whole. One that could not be saved is left alone: the tests then fail
    // instead of losing it.
    bool bSaved = true;
    if (KeyExists(kUsbEnumKey))
    {
        KeySnapshot usb;
        bSaved = CaptureKey(HKEY_LOCAL_MACHINE, kUsbEnumKey, usb);
        usb.name = std::string(kJournal) + "\\" + kUsb;
        bSaved = bSaved && RestoreKey(HKEY_LOCAL_MACHINE, usb);
    }
    if (bSaved)
    {
        SetText(kJournal, kUsbSaved, "");
        DeleteRegistryTree(kUsbEnumKey);
    }
    EXPECT_TRUE(bSaved) << "the existing USB enumeration key could not be saved";
    EXPECT_FALSE(KeyExists(kUsbEnumKey)) << "the USB enumeration key is still there";
    DeleteRegistryTree(std::string(kClassRoot) + "\\" + kTestClassGuid);

    for (const char* pszName : {kDriverLibrary, kUninstaller, kUninstallIni})
    {
        GuardFile(SystemFilePath(pszName));
        if (RunsUnderWow64())
            GuardFile(NativeSystemDirectory() + "\\" + pszName);
    }
    // Any file of the names the tests give driver and installation files.
    for (int i = 0; i < kTestFileSlots; ++i)
    {
        GuardFile(DriverFilePath(TestDriverFile(i)));
        GuardFile(InfFilePath(TestInfFile(i)));
    }
}

InstallationSandbox::~InstallationSandbox()
{
    DeleteRegistryTree(std::string(kClassRoot) + "\\" + kTestClassGuid);
    for (const std::string& name : m_ownClassKeys)
        DeleteRegistryTree(std::string(kClassRoot) + "\\" + name);
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it)
        PutBackSaved(*it);
    PutBackJournal();
}

void InstallationSandbox::GuardFile(const std::string& path)
{
    for (const std::string& file : m_files)
    {
        if (::lstrcmpiA(file.c_str(), path.c_str()) == 0)
            return;
    }
    if (FileExists(path))
        EXPECT_TRUE(::MoveFileA(path.c_str(), (path + kSavedSuffix).c_str()))
            << "could not move " << path << " out of the way";
    else
        SetText(std::string(kJournal) + "\\" + kAbsent, path, "");
    m_files.push_back(path);
}

void InstallationSandbox::CreateKey(const std::string& path)
{
    if (const HKEY hKey = CreatedKey(HKEY_LOCAL_MACHINE, path))
        ::RegCloseKey(hKey);
}

void InstallationSandbox::CreateChildKey(const std::string& parentPath, const std::string& childName)
{
    const HKEY hParent = CreatedKey(HKEY_LOCAL_MACHINE, parentPath);
    if (hParent == nullptr)
        return;
    if (const HKEY hChild = CreatedKey(hParent, childName))
        ::RegCloseKey(hChild);
    ::RegCloseKey(hParent);
}

void InstallationSandbox::SetValue(const std::string& keyPath, const std::string& name, DWORD dwType,
                                   const std::string& bytes)
{
    // The registry counts a terminator the caller left out of the size when a
    // zero happens to follow the data; a byte that is not zero keeps it out.
    std::string buffer = bytes + "#";
    const HKEY hKey = CreatedKey(HKEY_LOCAL_MACHINE, keyPath);
    if (hKey == nullptr)
        return;
    const LONG lResult = ::RegSetValueExA(hKey, name.c_str(), 0, dwType, reinterpret_cast<const BYTE*>(buffer.data()),
                                          static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(hKey);
    EXPECT_EQ(lResult, ERROR_SUCCESS) << "setting " << name << " of HKLM\\" << keyPath;
}

void InstallationSandbox::SetText(const std::string& keyPath, const std::string& name, const std::string& text)
{
    SetValue(keyPath, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void InstallationSandbox::AddInstance(const std::string& instance, int nClassKey, const std::string& driverFile,
                                      const std::string& infFile, const std::string& deviceKeyName)
{
    SetText(DeviceKeyPath(deviceKeyName) + "\\" + instance, "Driver", TestDriverValue(nClassKey));
    const std::string classKey = std::string(kClassRoot) + "\\" + TestDriverValue(nClassKey);
    CreateKey(classKey);
    if (!driverFile.empty())
        SetText(classKey, "NTMPDriver", driverFile);
    if (!infFile.empty())
        SetText(classKey, "InfPath", infFile);
}

void InstallationSandbox::PutInstance(int n)
{
    AddInstance("000" + std::to_string(n), n, TestDriverFile(n), TestInfFile(n));
    PutFile(DriverFilePath(TestDriverFile(n)));
    PutFile(InfFilePath(TestInfFile(n)));
}

void InstallationSandbox::OwnClassKey(const std::string& topName)
{
    DeleteRegistryTree(std::string(kClassRoot) + "\\" + topName);
    m_ownClassKeys.push_back(topName);
}

void InstallationSandbox::PutFile(const std::string& path)
{
    GuardFile(path);
    EXPECT_TRUE(WriteFileBytes(path, "installed by a test\r\n")) << "writing " << path;
}

void InstallationSandbox::PutCopy(const std::string& path, const std::string& source)
{
    GuardFile(path);
    EXPECT_TRUE(::CopyFileA(source.c_str(), path.c_str(), FALSE)) << "copying " << source << " to " << path;
}

void InstallationSandbox::PutDemoInstallation(DriverLibraries libraries)
{
    AddInstance("SIM00001", 0, "KT480USB.SYS", "oem7.inf");
    const std::string classKey = std::string(kClassRoot) + "\\" + TestDriverValue(0);
    SetText(classKey, "DriverVersion", "2.12.36.4");
    SetText(classKey, "DriverDate", "3-4-2024");
    SetText(classKey, "ProviderName", "Simulated Instruments");
    PutFile(DriverFilePath("KT480USB.SYS"));
    PutFile(InfFilePath("oem7.inf"));
    if (libraries != DriverLibraries::ONLY_64_BIT)
        PutCopy(SystemFilePath(kDriverLibrary), SimulatorLibrary());
    PutFile(SystemFilePath(kUninstaller));
    PutFile(SystemFilePath(kUninstallIni));
    if (!RunsUnderWow64())
        return;
    const std::string native = NativeSystemDirectory() + "\\";
    if (libraries != DriverLibraries::ONLY_32_BIT)
        PutCopy(native + kDriverLibrary, Simulator64Library());
    PutFile(native + kUninstaller);
    PutFile(native + kUninstallIni);
}

void InstallationSandbox::PutCommonFiles()
{
    for (const char* pszName : {kDriverLibrary, kUninstaller, kUninstallIni})
        PutFile(SystemFilePath(pszName));
}

// ---- Spy

namespace
{
// Watches the registry and file-search calls of the checks, passing them on
// to whatever the seam held before (a fault or the real function).
struct SeamSpy
{
    SystemCalls inner;
    long nOpenKeys;     // keys opened and not closed
    long nOpenSearches; // search handles returned and not closed
    CheckOutcome* pOutcome;
};
SeamSpy* g_pSpy = nullptr;

LONG WINAPI SpyRegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PHKEY phkResult)
{
    const LONG lResult = g_pSpy->inner.RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
    if (lResult == ERROR_SUCCESS)
        ++g_pSpy->nOpenKeys;
    g_pSpy->pOutcome->keyOpens.push_back({pszSubKey != nullptr ? pszSubKey : "", lResult, 0});
    return lResult;
}

LONG WINAPI SpyRegCloseKey(HKEY hKey)
{
    --g_pSpy->nOpenKeys;
    return g_pSpy->inner.RegCloseKey(hKey);
}

LONG WINAPI SpyRegQueryValueExA(HKEY hKey, LPCSTR pszName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                LPDWORD pcbData)
{
    const LONG lResult = g_pSpy->inner.RegQueryValueExA(hKey, pszName, pReserved, pdwType, pData, pcbData);
    g_pSpy->pOutcome->valueQueries.push_back(
        {pszName != nullptr ? pszName : "", lResult, pcbData != nullptr ? *pcbData : 0});
    return lResult;
}

HANDLE WINAPI SpyFindFirstFileA(LPCSTR pszPath, LPWIN32_FIND_DATAA pData)
{
    const HANDLE hFind = g_pSpy->inner.FindFirstFileA(pszPath, pData);
    const DWORD dwError = ::GetLastError();
    ++g_pSpy->pOutcome->nFileSearches;
    if (hFind != INVALID_HANDLE_VALUE)
        ++g_pSpy->nOpenSearches;
    ::SetLastError(dwError);
    return hFind;
}

BOOL WINAPI SpyFindClose(HANDLE hFind)
{
    --g_pSpy->nOpenSearches;
    return g_pSpy->inner.FindClose(hFind);
}
} // namespace

const SeamCall* FindCall(const std::vector<SeamCall>& calls, const std::string& name)
{
    for (const SeamCall& call : calls)
    {
        if (call.name == name)
            return &call;
    }
    return nullptr;
}

// ---- Expected lines

namespace
{
struct FileLine
{
    std::string line;
    const char* pszFound;
};

// One file line after another as pszStates gives them, up to the first that
// ends the check.
ExpectedReport& FileLines(ExpectedReport& e, const std::vector<FileLine>& files, const char* pszStates, DWORD dwError)
{
    for (size_t i = 0; i < files.size() && pszStates[i] != '\0'; ++i)
    {
        if (pszStates[i] == '-')
            continue;
        e.Detail(files[i].line);
        if (pszStates[i] == 'E')
            return e.Error(dwError);
        if (pszStates[i] == 'F')
            e.Detail(files[i].pszFound);
        else
            e.Alert(Text::kFileMissing);
    }
    return e;
}

const std::vector<FileLine> kCommonFiles = {
    {Text::kRegisteredDll + std::string(kDriverLibrary), Text::kDllFound},
    {Text::kRegisteredUninstall + std::string(kUninstaller), Text::kFileFound},
    {Text::kRegisteredUninstall + std::string(kUninstallIni), Text::kFileFound}};
} // namespace

ExpectedReport& CommonLines(ExpectedReport& e, int nDevices, const char* pszFiles, DWORD dwError)
{
    e.Heading(kCommonHeading);
    if (nDevices >= 0)
        e.Detail(Text::kDevicesRegistered + std::to_string(nDevices));
    return FileLines(e, kCommonFiles, pszFiles, dwError);
}

ExpectedReport& CommonFilesFound(ExpectedReport& e)
{
    return FileLines(e, kCommonFiles, "FFF", ERROR_SUCCESS);
}

const char kDemoDriverVersion[] = "2.12.36.4, 3-4-2024, Simulated Instruments";
const char kNoDriverVersion[] = "not registered";

ExpectedReport& InstanceLines(ExpectedReport& e, const std::string& instance, const std::string& driverFile,
                              const std::string& infFile, const char* pszFiles, DWORD dwError,
                              const std::string& driverVersion)
{
    const std::vector<FileLine> files = {{Text::kRegisteredDriver + driverFile, Text::kFileFound},
                                         {Text::kRegisteredInf + infFile, Text::kFileFound}};
    FileLines(e.Heading(InstanceHeading(instance)), files, pszFiles, dwError);
    const std::string states = pszFiles;
    if (states.size() == files.size() && states.find('E') == std::string::npos)
        e.Detail(Text::kDriverVersion + driverVersion);
    return e;
}

ExpectedReport& InstanceLines(ExpectedReport& e, int n, const char* pszFiles, DWORD dwError)
{
    return InstanceLines(e, "000" + std::to_string(n), TestDriverFile(n), TestInfFile(n), pszFiles, dwError);
}

ExpectedReport& InstanceFilesFound(ExpectedReport& e, const std::string& instance, const std::string& driverFile,
                                   const std::string& infFile, const std::string& driverVersion)
{
    return InstanceLines(e, instance, driverFile, infFile, "FF", ERROR_SUCCESS, driverVersion).Ok();
}

// ---- Running a check

CheckOutcome RunCheck(RecordingWriter& writer, RegistryCheck check, const DEVICE_INFO* pDevice, bool bDetailed)
{
    const DEVICE_INFO& device = pDevice != nullptr ? *pDevice : g_DeviceTable.pEntries[0];
    const auto runOnce = [&writer, check, &device] {
        writer.Clear();
        return check == RegistryCheck::COMMON ? CheckCommonRegistry(writer, device)
                                              : CheckDeviceRegistry(writer, device);
    };
    runOnce();
    const std::string firstText = writer.Text(bDetailed);

    CheckOutcome outcome = {};
    const auto spiedRun = [&] {
        SeamSpy spy = {g_SystemCalls, 0, 0, &outcome};
        g_pSpy = &spy;
        g_SystemCalls.RegOpenKeyExA = SpyRegOpenKeyExA;
        g_SystemCalls.RegCloseKey = SpyRegCloseKey;
        g_SystemCalls.RegQueryValueExA = SpyRegQueryValueExA;
        g_SystemCalls.FindFirstFileA = SpyFindFirstFileA;
        g_SystemCalls.FindClose = SpyFindClose;
        outcome.result = runOnce();
        g_SystemCalls = spy.inner;
        g_pSpy = nullptr;
        EXPECT_EQ(spy.nOpenKeys, 0) << "registry keys left open";
        EXPECT_EQ(spy.nOpenSearches, 0) << "search handles left open";
        outcome.text = writer.Text(bDetailed);
    };
    EXPECT_EQ(HandlesLeftBy(spiedRun), 0) << "process handles left by a run";
    EXPECT_EQ(outcome.text, firstText) << "the second run wrote another report than the first";
    EXPECT_EQ(outcome.result.kind, writer.WorstResult()) << "the result given, against the worst one written";
    return outcome;
}
