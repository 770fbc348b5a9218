// The common registry check and the device-specific registry check against the
// real registry and file system of the Wine prefix, with the seam standing in
// for the faults a real registry cannot give on demand. Every case of the
// tables runs in both views and several times, with its keys and search
// handles counted and the colours and weights of its lines compared; then
// values that fill their buffer to the last byte, a device table of the
// tests' own with ids to format, and the registry loop of the check run.
#include "checks/CheckRun.h"
#include "checks/OsVersion.h"
#include "support/RegistryFixture.h"
#include "support/SeamFaults.h"

#include "report/LogKind.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace
{
using Faults = std::vector<std::shared_ptr<void>>;
using Arrange = std::function<void(InstallationSandbox&, Faults&)>;

struct RegistryCase
{
    const char* pszName;
    int nInstances;  // installed with the common files first; -1: nothing
    Arrange arrange; // what else the case needs
    std::function<void(ExpectedReport&)> expect;
    DWORD dwExpectedResult;                             // the code of the result given, which the run reads
    std::function<void(const CheckOutcome&)> also = {}; // what else the run must show
    RegistryCheck registryCheck = RegistryCheck::COMMON;
};

std::ostream& operator<<(std::ostream& os, const RegistryCase& c)
{
    return os << c.pszName;
}

// A fault (or any holder) that lives while the case runs.
template <typename Fault, typename... Args>
Arrange With(Args... args)
{
    return [=](InstallationSandbox&, Faults& faults) { faults.push_back(std::make_shared<Fault>(args...)); };
}

Arrange Both(Arrange first, Arrange second)
{
    return [=](InstallationSandbox& s, Faults& f) {
        first(s, f);
        second(s, f);
    };
}

template <size_t N>
std::vector<RegistryCase> Cases(RegistryCheck check, const RegistryCase (&table)[N])
{
    std::vector<RegistryCase> cases(table, table + N);
    for (RegistryCase& c : cases)
        c.registryCheck = check;
    return cases;
}

// A directory query that fails (or returns uResult), and the check's error.
RegistryCase DirectoryCase(const char* pszName, DirectoryFault::Which which, UINT uResult, DWORD dwError,
                           DWORD dwExpected, RegistryCheck check)
{
    return {pszName, 1, With<DirectoryFault>(which, uResult, dwError),
            [=](ExpectedReport& e) {
                (check == RegistryCheck::COMMON ? CommonLines(e, 1, "") : e.Heading(kDeviceHeading)).Error(dwExpected);
            },
            dwExpected};
}

const std::string kInstancePath = DeviceKeyPath() + "\\0000";
const std::string kClassKey0 = std::string(kClassRoot) + "\\" + TestDriverValue(0);
// The search's own answer for a path, to know what the check must make of it.
DWORD SearchError(const std::string& path)
{
    WIN32_FIND_DATAA findData;
    const HANDLE hFind = ::FindFirstFileA(path.c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return ::GetLastError();
    ::FindClose(hFind);
    return ERROR_SUCCESS;
}

LONG OpenResult(const std::string& path)
{
    HKEY hKey = nullptr;
    const LONG lResult = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey);
    if (lResult == ERROR_SUCCESS)
        ::RegCloseKey(hKey);
    return lResult;
}

// The device key with an instance, and the common files whose letter is 'F'.
Arrange CommonFiles(const char* pszFiles)
{
    return [=](InstallationSandbox& s, Faults&) {
        s.CreateKey(kInstancePath);
        const char* apszNames[] = {kDriverLibrary, kUninstaller, kUninstallIni};
        for (int i = 0; i < 3; ++i)
        {
            if (pszFiles[i] == 'F')
                s.PutFile(SystemFilePath(apszNames[i]));
        }
    };
}

// Instance 0000 of class key 0 below the device key of that name, and those
// of its two files whose letter is 'F'.
Arrange Instance0(const char* pszFiles, const std::string& deviceKeyName = kDeviceKeyName)
{
    return [=](InstallationSandbox& s, Faults&) {
        s.AddInstance("0000", 0, TestDriverFile(0), TestInfFile(0), deviceKeyName);
        if (pszFiles[0] == 'F')
            s.PutFile(DriverFilePath(TestDriverFile(0)));
        if (pszFiles[1] == 'F')
            s.PutFile(InfFilePath(TestInfFile(0)));
    };
}

// The device key with n instances and their files, and the common files.
void InstallDevice(InstallationSandbox& sandbox, int nInstances)
{
    sandbox.CreateKey(DeviceKeyPath());
    for (int i = 0; i < nInstances; ++i)
        sandbox.PutInstance(i);
    sandbox.PutCommonFiles();
}

ExpectedReport& InstanceFound(ExpectedReport& e, int n)
{
    return InstanceLines(e, n, "FF").Ok();
}

class RegistryCaseTest : public testing::TestWithParam<RegistryCase>
{
};

TEST_P(RegistryCaseTest, ReportResultAndKinds)
{
    const RegistryCase& c = GetParam();
    InstallationSandbox sandbox;
    if (c.nInstances >= 0)
        InstallDevice(sandbox, c.nInstances);
    Faults faults;
    if (c.arrange)
        c.arrange(sandbox, faults);
    RecordingWriter writer;
    const CheckOutcome outcome = RunCheck(writer, c.registryCheck);
    ExpectedReport expected(true);
    c.expect(expected);
    EXPECT_EQ(outcome.result.dwCode, c.dwExpectedResult) << "the code of the result given";
    EXPECT_EQ(outcome.text, expected.Text());
    EXPECT_EQ(DescribeKinds(writer), expected.Kinds()) << "the kind of each line";
    if (c.also)
        c.also(outcome);
}

std::string CaseName(const testing::TestParamInfo<RegistryCase>& info)
{
    return info.param.pszName;
}

// ---- Common registry check

const auto kNoDeviceKey = [](auto& e) { e.Heading(kCommonHeading).Alert(Text::kNoDeviceKey).Warning(); };

const RegistryCase kCommonCases[] = {
    {"NoUsbEnumerationKey", -1, nullptr, [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_FILE_NOT_FOUND); },
     ERROR_FILE_NOT_FOUND},
    {"UsbEnumerationKeyDeniedToOpen", 1, With<KeyOpenFault>("\\Enum\\USB", ERROR_ACCESS_DENIED),
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
    {"EmptyUsbEnumerationKey", -1, [](auto& s, auto&) { s.CreateKey(kUsbEnumKey); }, kNoDeviceKey, ERROR_NO_MORE_ITEMS},
    {"OnlyOtherDeviceKeys", -1,
     [](auto& s, auto&) {
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001") + "\\0000");
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_B7E40"));
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_B7E"));
         s.PutCommonFiles();
     },
     kNoDeviceKey, ERROR_NO_MORE_ITEMS},
    {"OneInstanceIniMissing", -1, CommonFiles("FF-"), [](auto& e) { CommonLines(e, 1, "FFM").Warning(); }, 0},
    {"AllFilesPresent", 2, nullptr, [](auto& e) { CommonLines(e, 2, "FFF").Ok(); }, 0},
    {"AllFilesMissing", -1, CommonFiles("---"), [](auto& e) { CommonLines(e, 1, "MMM").Warning(); }, 0},
    {"DriverLibraryMissingOthersFound", -1, CommonFiles("-FF"), [](auto& e) { CommonLines(e, 1, "MFF").Warning(); }, 0},
    // The registry matches names whatever their case, so only the path
    // that was asked for shows whether the stored name was used.
    {"DeviceKeyInUpperCase", -1,
     [](auto& s, auto&) {
         s.CreateKey(DeviceKeyPath("VID_0403&PID_B7E4") + "\\0000");
         s.PutCommonFiles();
     },
     [](auto& e) { CommonLines(e, 1, "FFF").Ok(); }, 0,
     [](const CheckOutcome& o) {
         std::string opened;
         for (const SeamCall& call : o.keyOpens)
             opened += "\n  " + call.name;
         EXPECT_NE(FindCall(o.keyOpens, DeviceKeyPath("VID_0403&PID_B7E4")), nullptr) << "keys opened:" << opened;
         EXPECT_EQ(FindCall(o.keyOpens, DeviceKeyPath()), nullptr) << "keys opened:" << opened;
     }},
    {"DeviceKeyWithoutInstances", 0, nullptr, [](auto& e) { CommonLines(e, 0, "FFF").Ok(); }, 0},
    {"DriverLibrarySearchDenied", 1, With<FileSearchFault>(kDriverLibrary, ERROR_ACCESS_DENIED),
     [](auto& e) { CommonLines(e, 1, "E"); }, ERROR_ACCESS_DENIED},
    {"UninstallerSearchDenied", 1, With<FileSearchFault>(kUninstaller, ERROR_ACCESS_DENIED),
     [](auto& e) { CommonLines(e, 1, "FE"); }, ERROR_ACCESS_DENIED},
    {"IniSearchDeniedAfterUninstallerFound", 1, With<FileSearchFault>(kUninstallIni, ERROR_ACCESS_DENIED),
     [](auto& e) { CommonLines(e, 1, "FFE"); }, ERROR_ACCESS_DENIED},
    {"SubkeyOf254CharactersIsReadAndPassed", 1,
     [](auto& s, auto&) { s.CreateChildKey(kUsbEnumKey, std::string(254, 'A')); },
     [](auto& e) { CommonLines(e, 1, "FFF").Ok(); }, 0},
    {"SubkeyOf255CharactersBeforeTheDeviceKey", 1,
     [](auto& s, auto&) { s.CreateChildKey(kUsbEnumKey, std::string(255, 'A')); },
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_MORE_DATA); }, ERROR_MORE_DATA},
    {"SubkeyOf255CharactersAfterTheDeviceKeyIsNotRead", 1,
     [](auto& s, auto&) { s.CreateChildKey(kUsbEnumKey, std::string(255, 'Z')); },
     [](auto& e) { CommonLines(e, 1, "FFF").Ok(); }, 0},
    {"EnumerationFailsOtherwise", 1, With<EnumerationFault>(0, ERROR_REGISTRY_CORRUPT),
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_REGISTRY_CORRUPT); }, ERROR_REGISTRY_CORRUPT},
    {"DeviceKeyDeniedToOpen", 1, With<KeyOpenFault>("\\Vid_0403&Pid_B7E4", ERROR_ACCESS_DENIED),
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
    DirectoryCase("SystemDirectoryQueryFails", DirectoryFault::SYSTEM, 0, ERROR_NOT_ENOUGH_MEMORY,
                  ERROR_NOT_ENOUGH_MEMORY, RegistryCheck::COMMON),
    DirectoryCase("SystemDirectoryQueryFailsWithoutAReason", DirectoryFault::SYSTEM, 0, ERROR_SUCCESS,
                  ERROR_PATH_NOT_FOUND, RegistryCheck::COMMON),
    DirectoryCase("SystemDirectoryLongerThanItsBuffer", DirectoryFault::SYSTEM, 300, ERROR_SUCCESS,
                  ERROR_INSUFFICIENT_BUFFER, RegistryCheck::COMMON),
    {"CountQueryFailsFilesStillSearched", 1, With<CountQueryFault>(ERROR_KEY_DELETED),
     [](auto& e) { CommonLines(e, -1, "FFF").Error(ERROR_KEY_DELETED); }, ERROR_KEY_DELETED},
    {"CountQueryFailsAndAFileIsMissing", -1, Both(CommonFiles("-FF"), With<CountQueryFault>(ERROR_KEY_DELETED)),
     [](auto& e) { CommonLines(e, -1, "MFF").Error(ERROR_KEY_DELETED); }, ERROR_KEY_DELETED},
    {"CountQueryFailsThenTheDriverLibrarySearchFails", 1,
     Both(With<CountQueryFault>(ERROR_KEY_DELETED), With<FileSearchFault>(kDriverLibrary, ERROR_ACCESS_DENIED)),
     [](auto& e) { CommonLines(e, -1, "E"); }, ERROR_ACCESS_DENIED},
    {"Wow64FilesSearchedWhereTheProgramLoadsFrom", 1, With<Wow64Seam>(Wow64Seam::WOW64),
     [](auto& e) { CommonLines(e, 1, "FFF").Ok(); }, 0},
    // Device tables of the tests' own: a file the entry leaves out is
    // neither searched nor reported.
    {"AbsentFileNamesAreSkipped", -1,
     Both(With<DeviceTableOverride>(std::vector<DEVICE_INFO>{{0x0403, 0xB7E4, nullptr, kUninstaller, nullptr}}),
          CommonFiles("-F-")),
     [](auto& e) { CommonLines(e, 1, "-F-").Ok(); }, 0, [](const CheckOutcome& o) { EXPECT_EQ(o.nFileSearches, 1); }},
    {"NoFileNamesAtAllIsOk", -1,
     [](InstallationSandbox& s, Faults& f) {
         With<DeviceTableOverride>(std::vector<DEVICE_INFO>{{0x0403, 0xB7E4, nullptr, nullptr, nullptr}})(s, f);
         s.CreateKey(DeviceKeyPath());
     },
     [](auto& e) { CommonLines(e, 0, "---").Ok(); }, 0, [](const CheckOutcome& o) { EXPECT_EQ(o.nFileSearches, 0); }},
};

INSTANTIATE_TEST_SUITE_P(CheckCommonRegistry, RegistryCaseTest,
                         testing::ValuesIn(Cases(RegistryCheck::COMMON, kCommonCases)), CaseName);

// ---- Device-specific registry check

const auto kInstance0 = [](auto& e) { InstanceFound(e, 0); };

const RegistryCase kDeviceCases[] = {
    {"NoDeviceKey", -1, [](auto& s, auto&) { s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001")); },
     [](auto& e) { e.Heading(kDeviceHeading).Error(ERROR_FILE_NOT_FOUND); }, ERROR_FILE_NOT_FOUND},
    {"NoInstance", 0, nullptr, [](auto& e) { e.Heading(kDeviceHeading).Alert(Text::kNoInstance).Warning(); }, 0},
    {"OneInstanceBothFilesFound", 1, nullptr, kInstance0, 0},
    {"OneInstanceInstallationFileMissing", -1, Instance0("F-"), [](auto& e) { InstanceLines(e, 0, "FM").Warning(); },
     0},
    {"OneInstanceBothFilesMissing", -1, Instance0("--"), [](auto& e) { InstanceLines(e, 0, "MM").Warning(); }, 0},
    {"DriverFileInAMissingFolder", -1,
     [](auto& s, auto&) {
         s.AddInstance("0000", 0, "nofolder\\" + TestDriverFile(0), TestInfFile(0));
         s.PutFile(InfFilePath(TestInfFile(0)));
     },
     [](auto& e) { InstanceLines(e, "0000", "nofolder\\kt480t0.sys", "oemkt480t0.inf", "MF").Warning(); }, 0},
    {"FirstInstanceWarningSecondOk", 2, [](auto&, auto&) { DeleteFileIfAny(InfFilePath(TestInfFile(0))); },
     [](auto& e) { InstanceFound(InstanceLines(e, 0, "FM").Warning(), 1); }, 0},
    {"InstanceWithoutDriverValue", 2, [](auto& s, auto&) { s.CreateKey(DeviceKeyPath() + "\\0000x"); },
     [](auto& e) {
         InstanceFound(InstanceFound(e, 0).Heading(InstanceHeading("0000x")).Error(ERROR_FILE_NOT_FOUND), 1);
     },
     0},
    {"DriverValueNamingNoClassKey", 2,
     [](auto& s, auto&) { s.SetText(kInstancePath, "Driver", TestDriverValue(9999)); },
     [](auto& e) { InstanceFound(e.Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND), 1); }, 0},
    {"ClassKeyWithoutInfPath", 2,
     [](auto& s, auto&) {
         DeleteRegistryTree(kClassKey0);
         s.AddInstance("0000", 0, TestDriverFile(0), "");
     },
     [](auto& e) { InstanceFound(InstanceLines(e, 0, "F").Error(ERROR_FILE_NOT_FOUND), 1); }, 0},
    {"ClassKeyWithoutNtmpDriver", 2,
     [](auto& s, auto&) {
         DeleteRegistryTree(kClassKey0);
         s.AddInstance("0000", 0, "", TestInfFile(0));
     },
     [](auto& e) { InstanceFound(e.Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND), 1); }, 0},
    {"InstallationFileSearchDeniedEndsTheCheck", 2, With<FileSearchFault>(TestInfFile(0), ERROR_ACCESS_DENIED),
     [](auto& e) { InstanceLines(e, 0, "FE"); }, ERROR_ACCESS_DENIED},
    {"DriverFileSearchDeniedIsThatInstancesError", 2, With<FileSearchFault>(TestDriverFile(0), ERROR_ACCESS_DENIED),
     [](auto& e) { InstanceFound(InstanceLines(e, 0, "E"), 1); }, 0},
    {"DeviceKeyInUpperCase", -1, Instance0("FF", "VID_0403&PID_B7E4"), kInstance0, 0},
    {"InstanceKeyDeniedToOpen", 2, With<KeyOpenFault>("\\Vid_0403&Pid_B7E4\\0000", ERROR_ACCESS_DENIED),
     [](auto& e) { InstanceFound(e.Heading(InstanceHeading("0000")).Error(ERROR_ACCESS_DENIED), 1); }, 0},
    {"InstanceNameOf255CharactersEndsTheEnumeration", 1,
     [](auto& s, auto&) { s.CreateChildKey(DeviceKeyPath(), std::string(255, 'A')); },
     [](auto& e) { InstanceFound(e, 0).Heading(kDeviceHeading).Error(ERROR_MORE_DATA); }, ERROR_MORE_DATA},
    {"InstanceNameOf255CharactersFirst", 1,
     [](auto& s, auto&) { s.CreateChildKey(DeviceKeyPath(), std::string(255, '!')); },
     [](auto& e) { e.Heading(kDeviceHeading).Error(ERROR_MORE_DATA); }, ERROR_MORE_DATA},
    {"EnumerationFailsOtherwiseAfterAnInstance", 2, With<EnumerationFault>(1, ERROR_REGISTRY_CORRUPT),
     [](auto& e) { InstanceFound(e, 0).Heading(kDeviceHeading).Error(ERROR_REGISTRY_CORRUPT); },
     ERROR_REGISTRY_CORRUPT},
    // Windows opens an instance key of 254 characters below the device key;
    // Wine answers 234 for its path of more than 260 characters.
    {"InstanceNameOf254CharactersIsReadButItsKeyIsNotOpened", 1,
     [](auto& s, auto&) { s.CreateChildKey(DeviceKeyPath(), std::string(254, 'A')); },
     [](auto& e) {
         const LONG lOpen = OpenResult(DeviceKeyPath() + "\\" + std::string(254, 'A'));
         ASSERT_TRUE(lOpen == ERROR_MORE_DATA || lOpen == ERROR_SUCCESS) << "opening the instance key gave " << lOpen;
         // Where the key opens, it has no "Driver" value.
         InstanceFound(e, 0).Heading(InstanceHeading(std::string(254, 'A')));
         e.Error(lOpen == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_MORE_DATA);
     },
     0},
    // Both directories are read by one query, whose answers without a reason
    // and too long for its buffer are the common check's rows.
    DirectoryCase("SystemDirectoryQueryFails", DirectoryFault::SYSTEM, 0, ERROR_NOT_ENOUGH_MEMORY,
                  ERROR_NOT_ENOUGH_MEMORY, RegistryCheck::DEVICE),
    DirectoryCase("WindowsDirectoryQueryFails", DirectoryFault::WINDOWS, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED,
                  RegistryCheck::DEVICE),
    // Under WOW64 the driver file is searched with redirection off, the
    // installation file with it on; where it cannot be turned off, the
    // driver file's search fails with the reason.
    {"Wow64DriverFileSearchedWithRedirectionOff", 2, With<Wow64Seam>(Wow64Seam::WOW64),
     [](auto& e) { InstanceFound(InstanceFound(e, 0), 1); }, 0},
    {"NotWow64SearchesAsIs", 1, With<Wow64Seam>(Wow64Seam::NOT_WOW64), kInstance0, 0},
    {"NoIsWow64ProcessSearchesAsIs", 1, With<Wow64Seam>(Wow64Seam::NO_ISWOW64PROCESS), kInstance0, 0},
    {"IsWow64ProcessFailsIsThatInstancesError", 1,
     With<Wow64Seam>(Wow64Seam::ISWOW64PROCESS_FAILS, static_cast<DWORD>(ERROR_ACCESS_DENIED)),
     [](auto& e) { InstanceLines(e, 0, "E"); }, 0},
    {"Wow64RedirectionCannotBeTurnedOff", 2,
     With<Wow64Seam>(Wow64Seam::WOW64_DISABLE_FAILS, static_cast<DWORD>(ERROR_ACCESS_DENIED)),
     [](auto& e) { InstanceLines(InstanceLines(e, 0, "E"), 1, "E"); }, 0},
    {"Wow64WithoutRedirectionSwitches", 1, With<Wow64Seam>(Wow64Seam::WOW64_NO_SWITCHES),
     [](auto& e) { InstanceLines(e, 0, "E", ERROR_CALL_NOT_IMPLEMENTED); }, 0},
    {"Wow64RedirectionNotTurnedBackOn", 1,
     With<Wow64Seam>(Wow64Seam::WOW64_REVERT_FAILS, static_cast<DWORD>(ERROR_INVALID_FUNCTION)),
     [](auto& e) { InstanceLines(e, 0, "E", ERROR_INVALID_FUNCTION); }, 0},
    // Values read without their type: a DWORD "Driver" names the class
    // key of its bytes up to the first zero.
    {"DwordDriverIsTheTextOfItsBytesUpToTheFirstZero", -1,
     [](auto& s, auto&) {
         s.SetValue(kInstancePath, "Driver", REG_DWORD, std::string("K4\0T", 4));
         s.OwnClassKey("K4");
         s.SetText(std::string(kClassRoot) + "\\K4", "NTMPDriver", TestDriverFile(0));
         s.SetText(std::string(kClassRoot) + "\\K4", "InfPath", TestInfFile(0));
         s.PutFile(DriverFilePath(TestDriverFile(0)));
         s.PutFile(InfFilePath(TestInfFile(0)));
     },
     kInstance0, 0,
     [](const CheckOutcome& o) {
         EXPECT_NE(FindCall(o.keyOpens, std::string(kClassRoot) + "\\K4"), nullptr) << "K4 was not opened";
     }},
    {"BinaryValuesWithoutAZeroAreReadWhole", -1,
     [](auto& s, auto&) {
         s.SetValue(kInstancePath, "Driver", REG_BINARY, TestDriverValue(0));
         s.SetValue(kClassKey0, "NTMPDriver", REG_BINARY, TestDriverFile(1));
         s.SetValue(kClassKey0, "InfPath", REG_BINARY, TestInfFile(1));
         s.PutFile(DriverFilePath(TestDriverFile(1)));
     },
     [](auto& e) { InstanceLines(e, "0000", TestDriverFile(1), TestInfFile(1), "FM").Warning(); }, 0},
    // The driver's version from those of its values that are texts, in their
    // order: a number read as text would show as garbage.
    {"DriverVersionFromItsTextValuesOnly", 1,
     [](auto& s, auto&) {
         s.SetValue(kClassKey0, "DriverVersion", REG_BINARY, "2.12.36.4");
         s.SetText(kClassKey0, "ProviderName", "Simulated Instruments");
         s.SetText(kClassKey0, "DriverDate", "3-4-2024");
     },
     [](auto& e) {
         InstanceLines(e, "0000", TestDriverFile(0), TestInfFile(0), "FF", 0, "3-4-2024, Simulated Instruments").Ok();
     },
     0},
};

INSTANTIATE_TEST_SUITE_P(CheckDeviceRegistry, RegistryCaseTest,
                         testing::ValuesIn(Cases(RegistryCheck::DEVICE, kDeviceCases)), CaseName);

// ---- Values that fill their buffer

struct ValueSizeCase
{
    const char* pszValue; // "Driver", "NTMPDriver" or "InfPath"
    DWORD dwType;
    size_t nBytes; // none of them zero
};

std::ostream& operator<<(std::ostream& os, const ValueSizeCase& c)
{
    return os << c.pszValue << " of " << c.nBytes << " bytes, type " << c.dwType;
}

const ValueSizeCase kValueSizeCases[] = {
    {"Driver", REG_SZ, 255},     {"Driver", REG_BINARY, 255},     {"Driver", REG_SZ, 256},
    {"NTMPDriver", REG_SZ, 256}, {"NTMPDriver", REG_BINARY, 256}, {"NTMPDriver", REG_SZ, 257},
    {"InfPath", REG_SZ, 256},    {"InfPath", REG_BINARY, 256},    {"InfPath", REG_BINARY, 257},
};

class RegistryValueSizes : public testing::TestWithParam<ValueSizeCase>
{
};

// The buffer limits: 255 bytes for "Driver", 256 for the two file names. A
// value that fills its limit without a zero is read whole and nothing behind
// it; one byte more is 234.
TEST_P(RegistryValueSizes, ReadWholeUpToTheLimitAndOneByteMoreIs234)
{
    const ValueSizeCase& c = GetParam();
    const std::string valueName = c.pszValue;
    const bool bDriver = valueName == "Driver";
    const bool bInf = valueName == "InfPath";
    const std::string bytes(c.nBytes, bDriver ? 'D' : 'f');
    const bool bFits = c.nBytes <= (bDriver ? 255u : 256u);

    InstallationSandbox sandbox;
    sandbox.PutInstance(0);
    sandbox.SetValue(bDriver ? kInstancePath : kClassKey0, valueName, c.dwType, bytes);
    RecordingWriter writer;
    const CheckOutcome outcome = RunCheck(writer, RegistryCheck::DEVICE);

    const SeamCall* pQuery = FindCall(outcome.valueQueries, valueName);
    ASSERT_NE(pQuery, nullptr) << valueName << " was not queried";
    EXPECT_EQ(pQuery->lResult, bFits ? ERROR_SUCCESS : ERROR_MORE_DATA) << "the query's result";
    if (bFits)
    {
        EXPECT_EQ(pQuery->cbData, c.nBytes) << "the size the query reported";
    }

    ExpectedReport expected(true);
    DWORD dwExpectedResult = 0;
    const std::string classPath = std::string(kClassRoot) + "\\" + bytes;
    if (!bFits)
    {
        if (bDriver)
        {
            EXPECT_EQ(FindCall(outcome.keyOpens, classPath), nullptr)
                << "a class key was opened after the value could not be read";
        }
        InstanceLines(expected, "0000", TestDriverFile(0), "", bInf ? "F" : "").Error(ERROR_MORE_DATA);
    }
    else if (bDriver)
    {
        // Under Wine the class key's path is too long to be opened (234).
        const LONG lOpen = OpenResult(classPath);
        ASSERT_NE(lOpen, ERROR_SUCCESS);
        const SeamCall* pOpen = FindCall(outcome.keyOpens, classPath);
        ASSERT_NE(pOpen, nullptr) << "the class key of the whole value was not opened";
        EXPECT_EQ(pOpen->lResult, lOpen);
        expected.Heading(InstanceHeading("0000")).Error(static_cast<DWORD>(lOpen));
    }
    else
    {
        // The file the whole value names is searched for; a name this long
        // may get another answer than "not found".
        const DWORD dwSearch = SearchError(bInf ? InfFilePath(bytes) : DriverFilePath(bytes));
        const bool bMissing = dwSearch == ERROR_FILE_NOT_FOUND || dwSearch == ERROR_PATH_NOT_FOUND;
        const char* pszStates = bInf ? (bMissing ? "FM" : "FE") : (bMissing ? "MF" : "E");
        InstanceLines(expected, "0000", bInf ? TestDriverFile(0) : bytes, bInf ? bytes : TestInfFile(0), pszStates,
                      dwSearch);
        if (bMissing)
            expected.Warning();
        else if (bInf)
            dwExpectedResult = dwSearch;
    }
    EXPECT_EQ(outcome.result.dwCode, dwExpectedResult);
    EXPECT_EQ(outcome.text, expected.Text());
}

std::string ValueSizeCaseName(const testing::TestParamInfo<ValueSizeCase>& info)
{
    return std::string(info.param.pszValue) + (info.param.dwType == REG_SZ ? "Text" : "Binary") +
           std::to_string(info.param.nBytes);
}

INSTANTIATE_TEST_SUITE_P(DeviceCheck, RegistryValueSizes, testing::ValuesIn(kValueSizeCases), ValueSizeCaseName);

// ---- A device table of the tests' own

TEST(RegistryDeviceTable, IdsAreFourUpperCaseHexDigitsAndTheEntryGivenIsChecked)
{
    const DEVICE_INFO other = {0x0abc, 0x00d, kDriverLibrary, kUninstaller, kUninstallIni};
    InstallationSandbox sandbox;
    sandbox.AddInstance("0000", 0, "kt480t0.sys", "oemkt480t0.inf", "Vid_0ABC&Pid_000D");
    sandbox.PutFile(DriverFilePath("kt480t0.sys"));
    sandbox.PutFile(InfFilePath("oemkt480t0.inf"));
    sandbox.PutCommonFiles();
    RecordingWriter writer;

    const struct
    {
        RegistryCheck check;
        ExpectedReport expected;
    } kRuns[] = {
        {RegistryCheck::COMMON, ExpectedReport(false).Heading(Text::kCommon + std::string("Vid_0ABC&Pid_000D")).Ok()},
        {RegistryCheck::DEVICE,
         ExpectedReport(false).Heading(Text::kSpecific + std::string("Vid_0ABC&Pid_000D#0000")).Ok()},
    };
    for (const auto& run : kRuns)
        EXPECT_EQ(RunCheck(writer, run.check, &other, false).text, run.expected.Text());
}

// ---- The registry loop of the check run: which check runs after which
// result, and the run's outcome.

// The supported device without a driver library, so that a run is the
// registry loop alone.
const DEVICE_INFO kRegistryOnly = {0x0403, 0xB7E4, nullptr, "KT480_UNIN.EXE", "KT480_D2XXUN.INI"};

ExpectedReport& OpeningLines(ExpectedReport& e)
{
    return e.Line(std::string(GetOsVersionText())).Separator();
}

struct RunCase
{
    const char* pszName;
    int nInstances; // installed first; -1: nothing
    std::function<void(InstallationSandbox&)> arrange;
    std::function<void(ExpectedReport&)> expectRegistryLines;
    bool bSuccess;
    bool bCancelledAtTheFirstOk = false;
};

std::ostream& operator<<(std::ostream& os, const RunCase& c)
{
    return os << c.pszName;
}

class RegistryLoop : public testing::TestWithParam<RunCase>
{
};

TEST_P(RegistryLoop, ChecksSummaryAndExitCode)
{
    const RunCase& c = GetParam();
    DeviceTableOverride table({kRegistryOnly});
    InstallationSandbox sandbox;
    if (c.nInstances >= 0)
        InstallDevice(sandbox, c.nInstances);
    if (c.arrange)
        c.arrange(sandbox);
    ExpectedReport expected(true);
    OpeningLines(expected);
    c.expectRegistryLines(expected);
    expected.Summary(c.bSuccess);
    CCheckRun run;
    RecordingWriter writer;
    if (c.bCancelledAtTheFirstOk)
        writer.WhenWritten("... Result:   OK", [&run] { run.Cancel(); });
    const RunOutcome outcome = run.Run(writer);
    EXPECT_EQ(writer.Text(), expected.Text());
    const RunOutcome expectedOutcome = c.bCancelledAtTheFirstOk ? RUN_CANCELLED
                                       : c.bSuccess             ? RUN_SUCCEEDED
                                                                : RUN_FINISHED;
    EXPECT_EQ(outcome, expectedOutcome) << "the run's outcome (0 succeeded, 1 finished, 2 cancelled)";
}

const RunCase kRunCases[] = {
    {"BothChecksPass", 1, nullptr, [](auto& e) { InstanceFound(CommonLines(e, 1, "-FF").Ok(), 0); }, true},
    {"NoDeviceKeyLeavesOutTheDeviceCheck", -1, [](auto& s) { s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001")); },
     [](auto& e) { e.Heading(kCommonHeading).Alert(Text::kNoDeviceKey).Warning(); }, false},
    {"FailedCommonCheckLeavesOutTheDeviceCheck", 1,
     [](auto& s) { s.CreateChildKey(kUsbEnumKey, std::string(255, 'A')); },
     [](auto& e) { e.Heading(kCommonHeading).Error(ERROR_MORE_DATA); }, false},
    // A missing INI file's Warning still runs the device check, and ends the run "Check finished.".
    {"CommonWarningStillRunsTheDeviceCheck", 1, [](auto&) { DeleteFileIfAny(SystemFilePath(kUninstallIni)); },
     [](auto& e) { InstanceFound(CommonLines(e, 1, "-FM").Warning(), 0); }, false},
    {"DeviceCheckWithoutInstanceEndsCheckFinished", 0, nullptr,
     [](auto& e) { CommonLines(e, 0, "-FF").Ok().Heading(kDeviceHeading).Alert(Text::kNoInstance).Warning(); }, false},
    // The instance of too long a name counts as a device.
    {"FailedDeviceCheckFailsTheRun", 1, [](auto& s) { s.CreateChildKey(DeviceKeyPath(), std::string(255, 'A')); },
     [](auto& e) { InstanceFound(CommonLines(e, 2, "-FF").Ok(), 0).Heading(kDeviceHeading).Error(ERROR_MORE_DATA); },
     false},
    {"CancelAfterAPassedCommonCheckLeavesOutTheDeviceCheck", 1, nullptr, [](auto& e) { CommonLines(e, 1, "-FF").Ok(); },
     false, true},
    // An instance's own "Error" result does not end the check, but the run
    // ends "Check finished.".
    {"InstanceErrorStillChecksTheNextInstance", 2,
     [](auto& s) { s.SetText(DeviceKeyPath() + "\\0000", "Driver", TestDriverValue(9999)); },
     [](auto& e) {
         InstanceFound(CommonLines(e, 2, "-FF").Ok().Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND), 1);
     },
     false},
};

INSTANTIATE_TEST_SUITE_P(CheckRun, RegistryLoop, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) { return info.param.pszName; });

} // namespace
