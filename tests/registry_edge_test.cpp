// The registry checks at their edges: the colours of the two example runs,
// values that are not text or fill their buffer to the last byte, instance
// names at the limit of what the registry opens, and device tables of the
// tests' own.
#include "registry_fixture.h"

#include "report/LogKind.h"

#include <gtest/gtest.h>

namespace
{
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

bool IsMissing(DWORD dwError)
{
    return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
}

const SeamSpy::Call* FindCall(const std::vector<SeamSpy::Call>& calls, const std::string& name)
{
    for (const SeamSpy::Call& call : calls)
    {
        if (call.name == name)
            return &call;
    }
    return nullptr;
}
} // namespace

// ---- The example runs, with their colours

TEST(RegistryExampleRuns, CommonCheckWithTheIniFileMissing)
{
    InstallationSandbox sandbox;
    sandbox.CreateKey(kInstancePath);
    sandbox.PutFile(SystemFilePath(kDriverLibrary));
    sandbox.PutFile(SystemFilePath(kUninstaller));
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::COMMON);

    ExpectedReport expected(true);
    expected.Heading(kCommonHeading).Detail("Number of devices registered:   1");
    expected.Detail("Registered DLL:   KT480_D2XX.DLL").Detail("... DLL was found.");
    expected.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.");
    expected.Detail("Registered uninstall file:   KT480_D2XXUN.INI").Alert("... File was not found.");
    expected.Warning();
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
    const std::vector<FormattedRun> runs = host.FormattedRuns();
    EXPECT_EQ(DescribeRuns(runs), DescribeRuns(expected.Runs()));
}

TEST(RegistryExampleRuns, DeviceCheckWithTheInstallationFileMissing)
{
    InstallationSandbox sandbox;
    sandbox.AddInstance("0000", 0, "kt480t0.sys", "oemkt480t0.inf");
    sandbox.PutFile(DriverFilePath("kt480t0.sys"));
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

    ExpectedReport expected(true);
    expected.Heading(InstanceHeading("0000"));
    expected.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
    expected.Detail("Registered installation file:   oemkt480t0.inf").Alert("... File was not found.");
    expected.Warning();
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
    EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(expected.Runs()));
}

TEST(RegistryExampleRuns, ErrorEntryIsBoldAndIndexErrorIsABlueHeading)
{
    InstallationSandbox sandbox;
    TestDialogHost host;
    host.SetDetailed(true);
    host.ClearReport();
    EXPECT_EQ(host.Dialog().CheckDeviceRegistry(1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(host.Dialog().CheckCommonRegistry(0), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    ExpectedReport expected(true);
    expected.Result(ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING);
    expected.Heading(kCommonHeading).Error(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(host.ReportText(), expected.Text());
    EXPECT_EQ(DescribeRuns(host.FormattedRuns()), DescribeRuns(expected.Runs()));
}

// ---- Values read without their type

TEST(RegistryValues, DwordDriverIsTheTextOfItsBytesUpToTheFirstZero)
{
    InstallationSandbox sandbox;
    sandbox.SetValue(kInstancePath, "Driver", REG_DWORD, std::string("K4\0T", 4));
    sandbox.OwnClassKey("K4");
    const std::string classKey = std::string(kClassRoot) + "\\K4";
    sandbox.SetText(classKey, "NTMPDriver", "kt480t0.sys");
    sandbox.SetText(classKey, "InfPath", "oemkt480t0.inf");
    sandbox.PutFile(DriverFilePath("kt480t0.sys"));
    sandbox.PutFile(InfFilePath("oemkt480t0.inf"));
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

    ExpectedReport expected(true);
    expected.Heading(InstanceHeading("0000"));
    expected.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
    expected.Detail("Registered installation file:   oemkt480t0.inf").Detail("... File was found.").Ok();
    EXPECT_EQ(outcome.text, expected.Text());
    EXPECT_NE(FindCall(outcome.keyOpens, classKey), nullptr) << "the class key K4 was not opened";
}

TEST(RegistryValues, BinaryValuesWithoutAZeroAreReadWhole)
{
    InstallationSandbox sandbox;
    sandbox.SetValue(kInstancePath, "Driver", REG_BINARY, TestDriverValue(0));
    sandbox.SetValue(kClassKey0, "NTMPDriver", REG_BINARY, "kt480t1.sys");
    sandbox.SetValue(kClassKey0, "InfPath", REG_BINARY, "oemkt480t1.inf");
    sandbox.PutFile(DriverFilePath("kt480t1.sys"));
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

    ExpectedReport expected(true);
    expected.Heading(InstanceHeading("0000"));
    expected.Detail("Registered driver file:   kt480t1.sys").Detail("... File was found.");
    expected.Detail("Registered installation file:   oemkt480t1.inf").Alert("... File was not found.").Warning();
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
}

namespace
{
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
    {"Driver", REG_SZ, 255},      {"Driver", REG_BINARY, 255},  {"Driver", REG_SZ, 256},
    {"NTMPDriver", REG_SZ, 255},  {"NTMPDriver", REG_SZ, 256},  {"NTMPDriver", REG_BINARY, 256},
    {"NTMPDriver", REG_SZ, 257},  {"InfPath", REG_SZ, 255},     {"InfPath", REG_SZ, 256},
    {"InfPath", REG_BINARY, 256}, {"InfPath", REG_BINARY, 257},
};

class RegistryValueSizes : public testing::TestWithParam<ValueSizeCase>
{
};
} // namespace

// The buffer limits: 255 bytes for "Driver", 256 for the two file names. A
// value that fills its limit without a zero is read whole and nothing behind
// it; one byte more is 234.
TEST_P(RegistryValueSizes, ReadWholeUpToTheLimitAndOneByteMoreIs234)
{
    const ValueSizeCase& c = GetParam();
    const std::string valueName = c.pszValue;
    const DWORD cbLimit = valueName == "Driver" ? 255 : 256;
    const std::string bytes(c.nBytes, valueName == "Driver" ? 'D' : 'f');
    const bool bFits = c.nBytes <= cbLimit;

    InstallationSandbox sandbox;
    sandbox.PutInstance(0);
    const std::string keyPath = valueName == "Driver" ? kInstancePath : kClassKey0;
    sandbox.SetValue(keyPath, valueName, c.dwType, bytes);
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

    const SeamSpy::Call* pQuery = FindCall(outcome.valueQueries, valueName);
    ASSERT_NE(pQuery, nullptr) << valueName << " was not queried";
    EXPECT_EQ(pQuery->lResult, bFits ? ERROR_SUCCESS : ERROR_MORE_DATA) << "the query's result";
    if (bFits)
    {
        EXPECT_EQ(pQuery->cbData, c.nBytes) << "the size the query reported";
    }

    ExpectedReport expected(true);
    expected.Heading(InstanceHeading("0000"));
    DWORD dwExpectedResult = 0;
    if (valueName == "Driver")
    {
        const std::string classPath = std::string(kClassRoot) + "\\" + bytes;
        const SeamSpy::Call* pOpen = FindCall(outcome.keyOpens, classPath);
        if (bFits)
        {
            // Under Wine the class key's path is too long to be opened (234).
            const LONG lOpen = OpenResult(classPath);
            ASSERT_NE(lOpen, ERROR_SUCCESS);
            ASSERT_NE(pOpen, nullptr) << "the class key of the whole value was not opened";
            EXPECT_EQ(pOpen->lResult, lOpen);
            expected.Error(static_cast<DWORD>(lOpen));
        }
        else
        {
            EXPECT_EQ(pOpen, nullptr) << "a class key was opened after the value could not be read";
            expected.Error(ERROR_MORE_DATA);
        }
    }
    else if (valueName == "NTMPDriver")
    {
        if (bFits)
        {
            expected.Detail("Registered driver file:   " + bytes);
            const DWORD dwSearch = SearchError(DriverFilePath(bytes));
            if (IsMissing(dwSearch))
            {
                expected.Alert("... File was not found.");
                expected.Detail("Registered installation file:   oemkt480t0.inf").Detail("... File was found.");
                expected.Warning();
            }
            else
            {
                expected.Error(dwSearch);
            }
        }
        else
        {
            expected.Error(ERROR_MORE_DATA);
        }
    }
    else
    {
        expected.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
        if (bFits)
        {
            expected.Detail("Registered installation file:   " + bytes);
            const DWORD dwSearch = SearchError(InfFilePath(bytes));
            if (IsMissing(dwSearch))
            {
                expected.Alert("... File was not found.").Warning();
            }
            else
            {
                expected.Error(dwSearch);
                dwExpectedResult = dwSearch;
            }
        }
        else
        {
            expected.Error(ERROR_MORE_DATA);
        }
    }
    EXPECT_EQ(outcome.dwResult, dwExpectedResult);
    EXPECT_EQ(outcome.text, expected.Text());
}

std::string ValueSizeCaseName(const testing::TestParamInfo<ValueSizeCase>& info)
{
    return std::string(info.param.pszValue) + (info.param.dwType == REG_SZ ? "Text" : "Binary") +
           std::to_string(info.param.nBytes);
}

INSTANTIATE_TEST_SUITE_P(DeviceCheck, RegistryValueSizes, testing::ValuesIn(kValueSizeCases), ValueSizeCaseName);

// ---- Names: letter case and the registry's limits

// Windows opens an instance key of 254 characters below the device key; Wine
// answers 234 for its path of more than 260 characters.
TEST(RegistryNames, InstanceNameOf254CharactersIsReadButItsKeyIsNotOpened)
{
    const std::string instance(254, 'A');
    InstallationSandbox sandbox;
    sandbox.PutInstance(0);
    sandbox.CreateChildKey(DeviceKeyPath(), instance);
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

    const LONG lOpen = OpenResult(DeviceKeyPath() + "\\" + instance);
    ASSERT_TRUE(lOpen == ERROR_MORE_DATA || lOpen == ERROR_SUCCESS) << "opening the instance key gave " << lOpen;
    ExpectedReport expected(true);
    expected.Heading(InstanceHeading("0000"));
    expected.Detail("Registered driver file:   kt480t0.sys").Detail("... File was found.");
    expected.Detail("Registered installation file:   oemkt480t0.inf").Detail("... File was found.").Ok();
    // Where the key opens, it has no "Driver" value.
    expected.Heading(InstanceHeading(instance)).Error(lOpen == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_MORE_DATA);
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
}

// The registry matches names whatever their case, so only the path that was
// asked for shows whether the stored name was used.
TEST(RegistryNames, DeviceKeyIsOpenedUnderItsStoredName)
{
    InstallationSandbox sandbox;
    sandbox.CreateKey(DeviceKeyPath("VID_0403&PID_B7E4") + "\\0000");
    TestDialogHost host;

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::COMMON);

    EXPECT_EQ(outcome.dwResult, 0u);
    std::string opened;
    for (const SeamSpy::Call& call : outcome.keyOpens)
        opened += "\n  " + call.name;
    EXPECT_NE(FindCall(outcome.keyOpens, DeviceKeyPath("VID_0403&PID_B7E4")), nullptr) << "keys opened:" << opened;
    EXPECT_EQ(FindCall(outcome.keyOpens, DeviceKeyPath()), nullptr) << "keys opened:" << opened;
}

// ---- Device tables of the tests' own

TEST(RegistryDeviceTable, AbsentFileNamesAreSkipped)
{
    DeviceTableOverride table({{0x0403, 0xB7E4, nullptr, "KT480_UNIN.EXE", nullptr}});
    InstallationSandbox sandbox;
    sandbox.CreateKey(kInstancePath);
    sandbox.PutFile(SystemFilePath(kUninstaller));
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::COMMON);

    ExpectedReport expected(true);
    expected.Heading(kCommonHeading).Detail("Number of devices registered:   1");
    expected.Detail("Registered uninstall file:   KT480_UNIN.EXE").Detail("... File was found.").Ok();
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
    EXPECT_EQ(outcome.nFileSearches, 1);
}

TEST(RegistryDeviceTable, NoFileNamesAtAllIsOk)
{
    DeviceTableOverride table({{0x0403, 0xB7E4, nullptr, nullptr, nullptr}});
    InstallationSandbox sandbox;
    sandbox.CreateKey(DeviceKeyPath());
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::COMMON);

    ExpectedReport expected(true);
    expected.Heading(kCommonHeading).Detail("Number of devices registered:   0").Ok();
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
    EXPECT_EQ(outcome.nFileSearches, 0);
}

TEST(RegistryDeviceTable, IdsAreFourUpperCaseHexDigitsAndEveryIndexOfTheTableCounts)
{
    DeviceTableOverride table({{0x0403, 0xB7E4, kDriverLibrary, kUninstaller, kUninstallIni},
                               {0x0abc, 0x00d, kDriverLibrary, kUninstaller, kUninstallIni}});
    InstallationSandbox sandbox;
    sandbox.AddInstance("0000", 0, "kt480t0.sys", "oemkt480t0.inf", "Vid_0ABC&Pid_000D");
    sandbox.PutFile(DriverFilePath("kt480t0.sys"));
    sandbox.PutFile(InfFilePath("oemkt480t0.inf"));
    sandbox.PutCommonFiles();
    TestDialogHost host;
    host.SetDetailed(false);

    CheckOutcome outcome = RunCheck(host, RegistryCheck::COMMON, 1);
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(
        outcome.text,
        ExpectedReport(false).Heading("Check common registry entries for devices:   Vid_0ABC&Pid_000D").Ok().Text());

    outcome = RunCheck(host, RegistryCheck::DEVICE, 1);
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, ExpectedReport(false)
                                .Heading("Check specific registry entries for device:   Vid_0ABC&Pid_000D#0000")
                                .Ok()
                                .Text());

    outcome = RunCheck(host, RegistryCheck::COMMON, 0);
    EXPECT_EQ(outcome.dwResult, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

    outcome = RunCheck(host, RegistryCheck::DEVICE, 2);
    EXPECT_EQ(outcome.dwResult, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(outcome.text, ExpectedReport(false)
                                .Result(ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING)
                                .Text());
}
