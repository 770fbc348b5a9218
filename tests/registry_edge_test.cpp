// The registry checks at their edges: values that fill their buffer to the
// last byte, instance names at the limit of what the registry opens, and a
// device table of the tests' own with ids to format.
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
    const bool bDriver = valueName == "Driver";
    const bool bInf = valueName == "InfPath";
    const std::string bytes(c.nBytes, bDriver ? 'D' : 'f');
    const bool bFits = c.nBytes <= (bDriver ? 255u : 256u);

    InstallationSandbox sandbox;
    sandbox.PutInstance(0);
    sandbox.SetValue(bDriver ? kInstancePath : kClassKey0, valueName, c.dwType, bytes);
    TestDialogHost host;
    host.SetDetailed(true);

    const CheckOutcome outcome = RunCheck(host, RegistryCheck::DEVICE);

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
    EXPECT_EQ(outcome.dwResult, dwExpectedResult);
    EXPECT_EQ(outcome.text, expected.Text());
}

std::string ValueSizeCaseName(const testing::TestParamInfo<ValueSizeCase>& info)
{
    return std::string(info.param.pszValue) + (info.param.dwType == REG_SZ ? "Text" : "Binary") +
           std::to_string(info.param.nBytes);
}

INSTANTIATE_TEST_SUITE_P(DeviceCheck, RegistryValueSizes, testing::ValuesIn(kValueSizeCases), ValueSizeCaseName);

// ---- Names at the registry's limits

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
    InstanceLines(expected, 0, "FF").Ok();
    // Where the key opens, it has no "Driver" value.
    expected.Heading(InstanceHeading(instance)).Error(lOpen == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_MORE_DATA);
    EXPECT_EQ(outcome.dwResult, 0u);
    EXPECT_EQ(outcome.text, expected.Text());
}

// ---- A device table of the tests' own

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

    const struct
    {
        RegistryCheck check;
        UINT nIndex;
        DWORD dwResult;
        ExpectedReport expected;
    } kRuns[] = {
        {RegistryCheck::COMMON, 1, 0,
         ExpectedReport(false).Heading("Check common registry entries for devices:   Vid_0ABC&Pid_000D").Ok()},
        {RegistryCheck::DEVICE, 1, 0,
         ExpectedReport(false).Heading("Check specific registry entries for device:   Vid_0ABC&Pid_000D#0000").Ok()},
        {RegistryCheck::COMMON, 0, ERROR_NO_MORE_ITEMS,
         ExpectedReport(false).Heading(kCommonHeading).Alert("Device key was not found.").Warning()},
        {RegistryCheck::DEVICE, 2, ERROR_INVALID_PARAMETER,
         ExpectedReport(false).Result(ERROR_INVALID_PARAMETER, "Check device specific registry entries", LOG_HEADING)},
    };
    for (const auto& run : kRuns)
    {
        SCOPED_TRACE((run.check == RegistryCheck::COMMON ? "common check, index " : "device check, index ") +
                     std::to_string(run.nIndex));
        const CheckOutcome outcome = RunCheck(host, run.check, run.nIndex);
        EXPECT_EQ(outcome.dwResult, run.dwResult);
        EXPECT_EQ(outcome.text, run.expected.Text());
    }
}
