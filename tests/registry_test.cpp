// The common registry check and the device-specific registry check against the
// real registry and file system of the Wine prefix, with the seam standing in
// for the faults a real registry cannot give on demand. Every case runs in
// both views and several times, with its keys and search handles counted.
#include "registry_fixture.h"

#include "report/LogKind.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace
{
using Faults = std::vector<std::shared_ptr<void>>;

struct RegistryCase
{
    const char* pszName;
    RegistryCheck check;
    UINT nIndex;
    std::function<void(InstallationSandbox&, Faults&)> arrange;
    std::function<void(ExpectedReport&)> expect;
    DWORD dwExpectedResult;
};

std::ostream& operator<<(std::ostream& os, const RegistryCase& c)
{
    return os << c.pszName;
}

std::string CaseName(const testing::TestParamInfo<RegistryCase>& info)
{
    return info.param.pszName;
}

template <typename Fault, typename... Args>
void Add(Faults& faults, Args&&... args)
{
    faults.push_back(std::make_shared<Fault>(std::forward<Args>(args)...));
}

const std::string kLongName254(254, 'A');
const std::string kLongName255(255, 'A');

// A device key with one instance per entry, all files of the common check and
// of each instance in place.
void InstallDevice(InstallationSandbox& sandbox, int nInstances)
{
    sandbox.CreateKey(DeviceKeyPath());
    for (int i = 0; i < nInstances; ++i)
        sandbox.PutInstance(i);
    sandbox.PutCommonFiles();
}

// The lines of one instance whose files are both found.
void InstanceFound(ExpectedReport& e, int n)
{
    InstanceFilesFound(e, "000" + std::to_string(n), TestDriverFile(n), TestInfFile(n));
}

class RegistryCaseTest : public testing::TestWithParam<RegistryCase>
{
};

TEST_P(RegistryCaseTest, ReportAndResultInBothViews)
{
    const RegistryCase& c = GetParam();
    InstallationSandbox sandbox;
    Faults faults;
    c.arrange(sandbox, faults);
    TestDialogHost host;
    for (const bool bDetailed : {true, false})
    {
        SCOPED_TRACE(bDetailed ? "detailed view" : "simple view");
        host.SetDetailed(bDetailed);
        const CheckOutcome outcome = RunCheck(host, c.check, c.nIndex);
        ExpectedReport expected(bDetailed);
        c.expect(expected);
        EXPECT_EQ(outcome.dwResult, c.dwExpectedResult) << "returned";
        EXPECT_EQ(outcome.text, expected.Text());
    }
}

// ---- Common registry check

const RegistryCase kCommonCases[] = {
    {"IndexOutOfRange", RegistryCheck::COMMON, 1, [](InstallationSandbox&, Faults&) {},
     [](ExpectedReport& e) { e.Result(ERROR_INVALID_PARAMETER, "Check common registry entries", LOG_HEADING); },
     ERROR_INVALID_PARAMETER},
    {"NoUsbEnumerationKey", RegistryCheck::COMMON, 0, [](InstallationSandbox&, Faults&) {},
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_FILE_NOT_FOUND); }, ERROR_FILE_NOT_FOUND},
    {"UsbEnumerationKeyDeniedToOpen", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<KeyOpenFault>(f, "\\Enum\\USB", ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
    {"EmptyUsbEnumerationKey", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) { s.CreateKey(kUsbEnumKey); },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Alert("Device key was not found.").Warning(); },
     ERROR_NO_MORE_ITEMS},
    {"OnlyOtherDeviceKeys", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001") + "\\0000");
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_B7E40"));
         s.CreateKey(DeviceKeyPath("Vid_0403&Pid_B7E"));
         s.PutCommonFiles();
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Alert("Device key was not found.").Warning(); },
     ERROR_NO_MORE_ITEMS},
    {"OneInstanceIniMissing", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateKey(DeviceKeyPath() + "\\0000");
         s.PutFile(SystemFilePath(kDriverLibrary));
         s.PutFile(SystemFilePath(kUninstaller));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Detail("... DLL was found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
         e.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Alert("... File was not found.");
         e.Warning();
     },
     0},
    {"AllFilesPresent", RegistryCheck::COMMON, 0, [](InstallationSandbox& s, Faults&) { InstallDevice(s, 2); },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   2");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
    {"AllFilesMissing", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) { s.CreateKey(DeviceKeyPath() + "\\0000"); },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Alert("... File was not found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Alert("... File was not found.");
         e.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Alert("... File was not found.");
         e.Warning();
     },
     0},
    {"DriverLibraryMissingOthersFound", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateKey(DeviceKeyPath() + "\\0000");
         s.PutFile(SystemFilePath(kUninstaller));
         s.PutFile(SystemFilePath(kUninstallIni));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Alert("... File was not found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
         e.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Detail("... File was found.");
         e.Warning();
     },
     0},
    {"DeviceKeyInUpperCase", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateKey(DeviceKeyPath("VID_0403&PID_B7E4") + "\\0000");
         s.PutCommonFiles();
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
    {"DeviceKeyWithoutInstances", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateKey(DeviceKeyPath());
         s.PutCommonFiles();
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   0");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
    {"DriverLibrarySearchDenied", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<FileSearchFault>(f, kDriverLibrary, ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Error(ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED},
    {"UninstallerSearchDenied", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<FileSearchFault>(f, kUninstaller, ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Detail("... DLL was found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Error(ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED},
    {"IniSearchDeniedAfterUninstallerFound", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<FileSearchFault>(f, kUninstallIni, ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Detail("... DLL was found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
         e.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Error(ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED},
    {"SubkeyOf254CharactersIsReadAndPassed", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateChildKey(kUsbEnumKey, kLongName254);
         InstallDevice(s, 1);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
    {"SubkeyOf255CharactersBeforeTheDeviceKey", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateChildKey(kUsbEnumKey, kLongName255);
         InstallDevice(s, 1);
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_MORE_DATA); }, ERROR_MORE_DATA},
    {"SubkeyOf255CharactersAfterTheDeviceKeyIsNotRead", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateChildKey(kUsbEnumKey, std::string(255, 'Z'));
         InstallDevice(s, 1);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
    {"EnumerationFailsOtherwise", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<EnumerationFault>(f, 0, ERROR_REGISTRY_CORRUPT);
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_REGISTRY_CORRUPT); }, ERROR_REGISTRY_CORRUPT},
    {"DeviceKeyDeniedToOpen", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<KeyOpenFault>(f, "\\Vid_0403&Pid_B7E4", ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) { e.Heading(kCommonHeading).Error(ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
    {"SystemDirectoryQueryFails", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::SYSTEM, 0u, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1").Error(ERROR_NOT_ENOUGH_MEMORY);
     },
     ERROR_NOT_ENOUGH_MEMORY},
    {"SystemDirectoryQueryFailsWithoutAReason", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::SYSTEM, 0u, static_cast<DWORD>(ERROR_SUCCESS));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1").Error(ERROR_PATH_NOT_FOUND);
     },
     ERROR_PATH_NOT_FOUND},
    {"SystemDirectoryLongerThanItsBuffer", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::SYSTEM, 300u, static_cast<DWORD>(ERROR_SUCCESS));
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1").Error(ERROR_INSUFFICIENT_BUFFER);
     },
     ERROR_INSUFFICIENT_BUFFER},
    {"CountQueryFailsFilesStillSearched", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<CountQueryFault>(f, ERROR_KEY_DELETED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading);
         CommonFilesFound(e);
         e.Error(ERROR_KEY_DELETED);
     },
     ERROR_KEY_DELETED},
    {"CountQueryFailsAndAFileIsMissing", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         s.CreateKey(DeviceKeyPath() + "\\0000");
         s.PutFile(SystemFilePath(kUninstaller));
         s.PutFile(SystemFilePath(kUninstallIni));
         Add<CountQueryFault>(f, ERROR_KEY_DELETED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading);
         e.Detail("Registered DLL:   KT480_D2XX.DLL").Alert("... File was not found.");
         e.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
         e.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Detail("... File was found.");
         e.Error(ERROR_KEY_DELETED);
     },
     ERROR_KEY_DELETED},
    {"CountQueryFailsThenTheDriverLibrarySearchFails", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<CountQueryFault>(f, ERROR_KEY_DELETED);
         Add<FileSearchFault>(f, kDriverLibrary, ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Registered DLL:   KT480_D2XX.DLL").Error(ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED},
    {"Wow64FilesSearchedWhereTheProgramLoadsFrom", RegistryCheck::COMMON, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::WOW64);
     },
     [](ExpectedReport& e) {
         e.Heading(kCommonHeading).Detail("Number of devices registered:   1");
         CommonFilesFound(e);
         e.Ok();
     },
     0},
};

INSTANTIATE_TEST_SUITE_P(CheckCommonRegistry, RegistryCaseTest, testing::ValuesIn(kCommonCases), CaseName);

// ---- Device-specific registry check

const RegistryCase kDeviceCases[] = {
    {"IndexOutOfRange", RegistryCheck::DEVICE, 1, [](InstallationSandbox&, Faults&) {},
     [](ExpectedReport& e) {
         e.Result(ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING);
     },
     ERROR_INVALID_PARAMETER},
    {"NoDeviceKey", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) { s.CreateKey(DeviceKeyPath("Vid_0403&Pid_6001")); },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_FILE_NOT_FOUND); }, ERROR_FILE_NOT_FOUND},
    {"NoInstance", RegistryCheck::DEVICE, 0, [](InstallationSandbox& s, Faults&) { InstallDevice(s, 0); },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Alert("No device was found.").Warning(); }, 0},
    {"OneInstanceBothFilesFound", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) { InstallDevice(s, 1); }, [](ExpectedReport& e) { InstanceFound(e, 0); }, 0},
    {"OneInstanceInstallationFileMissing", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         s.AddInstance("0000", 0, TestDriverFile(0), TestInfFile(0));
         s.PutFile(DriverFilePath(TestDriverFile(0)));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
         e.Detail("Registered installation file:   oemkt480t0.inf").Alert("... File was not found.");
         e.Warning();
     },
     0},
    {"OneInstanceBothFilesMissing", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) { s.AddInstance("0000", 0, TestDriverFile(0), TestInfFile(0)); },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   kt480t0.sys").Alert("... File was not found.");
         e.Detail("Registered installation file:   oemkt480t0.inf").Alert("... File was not found.");
         e.Warning();
     },
     0},
    {"DriverFileInAMissingFolder", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         s.AddInstance("0000", 0, "nofolder\\" + TestDriverFile(0), TestInfFile(0));
         s.PutFile(InfFilePath(TestInfFile(0)));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   nofolder\\kt480t0.sys").Alert("... File was not found.");
         e.Detail("Registered installation file:   oemkt480t0.inf").Detail("... File was found.");
         e.Warning();
     },
     0},
    {"FirstInstanceWarningSecondOk", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 2);
         DeleteFileIfAny(InfFilePath(TestInfFile(0)));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
         e.Detail("Registered installation file:   oemkt480t0.inf").Alert("... File was not found.");
         e.Warning();
         InstanceFound(e, 1);
     },
     0},
    {"InstanceWithoutDriverValue", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 2);
         s.CreateKey(DeviceKeyPath() + "\\0000x");
     },
     [](ExpectedReport& e) {
         InstanceFound(e, 0);
         e.Heading(InstanceHeading("0000x")).Error(ERROR_FILE_NOT_FOUND);
         InstanceFound(e, 1);
     },
     0},
    {"DriverValueNamingNoClassKey", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 2);
         s.SetText(DeviceKeyPath() + "\\0000", "Driver", TestDriverValue(9999));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND);
         InstanceFound(e, 1);
     },
     0},
    {"ClassKeyWithoutInfPath", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 2);
         DeleteRegistryTree(std::string(kClassRoot) + "\\" + TestDriverValue(0));
         s.AddInstance("0000", 0, TestDriverFile(0), "");
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.").Error(ERROR_FILE_NOT_FOUND);
         InstanceFound(e, 1);
     },
     0},
    {"ClassKeyWithoutNtmpDriver", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 2);
         DeleteRegistryTree(std::string(kClassRoot) + "\\" + TestDriverValue(0));
         s.AddInstance("0000", 0, "", TestInfFile(0));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Error(ERROR_FILE_NOT_FOUND);
         InstanceFound(e, 1);
     },
     0},
    {"InstallationFileSearchDeniedEndsTheCheck", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<FileSearchFault>(f, TestInfFile(0), ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000"));
         e.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
         e.Detail("Registered installation file:   oemkt480t0.inf").Error(ERROR_ACCESS_DENIED);
     },
     ERROR_ACCESS_DENIED},
    {"DriverFileSearchDeniedIsThatInstancesError", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<FileSearchFault>(f, TestDriverFile(0), ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Detail("Registered driver file:   kt480t0.sys").Error(ERROR_ACCESS_DENIED);
         InstanceFound(e, 1);
     },
     0},
    {"DeviceKeyInUpperCase", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         s.AddInstance("0000", 0, TestDriverFile(0), TestInfFile(0), "VID_0403&PID_B7E4");
         s.PutFile(DriverFilePath(TestDriverFile(0)));
         s.PutFile(InfFilePath(TestInfFile(0)));
     },
     [](ExpectedReport& e) { InstanceFound(e, 0); }, 0},
    {"InstanceKeyDeniedToOpen", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<KeyOpenFault>(f, "\\Vid_0403&Pid_B7E4\\0000", ERROR_ACCESS_DENIED);
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Error(ERROR_ACCESS_DENIED);
         InstanceFound(e, 1);
     },
     0},
    {"InstanceNameOf255CharactersEndsTheEnumeration", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         InstallDevice(s, 1);
         s.CreateChildKey(DeviceKeyPath(), kLongName255);
     },
     [](ExpectedReport& e) {
         InstanceFound(e, 0);
         e.Heading(kDeviceHeading).Error(ERROR_MORE_DATA);
     },
     ERROR_MORE_DATA},
    {"InstanceNameOf255CharactersFirst", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults&) {
         s.CreateChildKey(DeviceKeyPath(), std::string(255, '!'));
         InstallDevice(s, 1);
     },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_MORE_DATA); }, ERROR_MORE_DATA},
    {"EnumerationFailsOtherwiseAfterAnInstance", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<EnumerationFault>(f, 1, ERROR_REGISTRY_CORRUPT);
     },
     [](ExpectedReport& e) {
         InstanceFound(e, 0);
         e.Heading(kDeviceHeading).Error(ERROR_REGISTRY_CORRUPT);
     },
     ERROR_REGISTRY_CORRUPT},
    {"SystemDirectoryQueryFails", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::SYSTEM, 0u, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
     },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_NOT_ENOUGH_MEMORY); }, ERROR_NOT_ENOUGH_MEMORY},
    {"WindowsDirectoryQueryFails", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::WINDOWS, 0u, static_cast<DWORD>(ERROR_ACCESS_DENIED));
     },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_ACCESS_DENIED); }, ERROR_ACCESS_DENIED},
    {"WindowsDirectoryLongerThanItsBuffer", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::WINDOWS, 256u, static_cast<DWORD>(ERROR_SUCCESS));
     },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_INSUFFICIENT_BUFFER); }, ERROR_INSUFFICIENT_BUFFER},
    {"WindowsDirectoryQueryFailsWithoutAReason", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<DirectoryFault>(f, DirectoryFault::WINDOWS, 0u, static_cast<DWORD>(ERROR_SUCCESS));
     },
     [](ExpectedReport& e) { e.Heading(kDeviceHeading).Error(ERROR_PATH_NOT_FOUND); }, ERROR_PATH_NOT_FOUND},
    // Under WOW64 the driver file is searched with redirection off, the
    // installation file with it on; where it cannot be turned off, the
    // driver file's search fails with the reason.
    {"Wow64DriverFileSearchedWithRedirectionOff", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<Wow64Seam>(f, Wow64Seam::WOW64);
     },
     [](ExpectedReport& e) {
         InstanceFound(e, 0);
         InstanceFound(e, 1);
     },
     0},
    {"NotWow64SearchesAsIs", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::NOT_WOW64);
     },
     [](ExpectedReport& e) { InstanceFound(e, 0); }, 0},
    {"NoIsWow64ProcessSearchesAsIs", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::NO_ISWOW64PROCESS);
     },
     [](ExpectedReport& e) { InstanceFound(e, 0); }, 0},
    {"IsWow64ProcessFailsIsThatInstancesError", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::ISWOW64PROCESS_FAILS, static_cast<DWORD>(ERROR_ACCESS_DENIED));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Detail("Registered driver file:   kt480t0.sys").Error(ERROR_ACCESS_DENIED);
     },
     0},
    {"Wow64RedirectionCannotBeTurnedOff", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 2);
         Add<Wow64Seam>(f, Wow64Seam::WOW64_DISABLE_FAILS, static_cast<DWORD>(ERROR_ACCESS_DENIED));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Detail("Registered driver file:   kt480t0.sys").Error(ERROR_ACCESS_DENIED);
         e.Heading(InstanceHeading("0001")).Detail("Registered driver file:   kt480t1.sys").Error(ERROR_ACCESS_DENIED);
     },
     0},
    {"Wow64WithoutRedirectionSwitches", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::WOW64_NO_SWITCHES);
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Detail("Registered driver file:   kt480t0.sys");
         e.Error(ERROR_CALL_NOT_IMPLEMENTED);
     },
     0},
    {"Wow64RedirectionNotTurnedBackOn", RegistryCheck::DEVICE, 0,
     [](InstallationSandbox& s, Faults& f) {
         InstallDevice(s, 1);
         Add<Wow64Seam>(f, Wow64Seam::WOW64_REVERT_FAILS, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
     },
     [](ExpectedReport& e) {
         e.Heading(InstanceHeading("0000")).Detail("Registered driver file:   kt480t0.sys");
         e.Error(ERROR_INVALID_FUNCTION);
     },
     0},
};

INSTANTIATE_TEST_SUITE_P(CheckDeviceRegistry, RegistryCaseTest, testing::ValuesIn(kDeviceCases), CaseName);
} // namespace
