// The programs as a user unpacks them from the package: tests/package_check.sh
// unpacks the zip into PACKAGE_DIR, names the project's version in
// PACKAGE_VERSION and runs this in the XP prefix and in a 64-bit one. Each
// program's version block and manifest carry that version, and each one that
// the system runs writes its report with the exit code of the build's program.
#include "app/ReportCommand.h"
#include "support/RegistryFixture.h"
#include "support/RtfText.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace
{
const char kProgram32[] = "UsbInstallationTest.exe";
const char kProgram64[] = "UsbInstallationTest64.exe";

std::string Environment(const char* pszName)
{
    const char* pszValue = std::getenv(pszName);
    return pszValue != nullptr ? pszValue : "";
}

std::string Unpacked(const char* pszProgram)
{
    return WinePath(Environment("PACKAGE_DIR")) + "\\" + pszProgram;
}

// "a.b.c.d" of a fixed version's two words.
std::string Dotted(DWORD dwMS, DWORD dwLS)
{
    char sz[48];
    std::snprintf(sz, sizeof(sz), "%u.%u.%u.%u", HIWORD(dwMS), LOWORD(dwMS), HIWORD(dwLS), LOWORD(dwLS));
    return sz;
}
} // namespace

TEST(Package, VersionBlockAndManifestCarryTheProjectsVersion)
{
    // As the version block's texts have it: "0, 1, 0, 0" for 0.1.0.0.
    const std::string version = Environment("PACKAGE_VERSION");
    std::string text = version;
    for (size_t n = text.find('.'); n != std::string::npos; n = text.find('.', n))
        text.replace(n, 1, ", ");
    for (const char* pszProgram : {kProgram32, kProgram64})
    {
        SCOPED_TRACE(pszProgram);
        const std::vector<BYTE> block = VersionBlockOf(Unpacked(pszProgram));
        ASSERT_FALSE(block.empty()) << "no version block";
        const VS_FIXEDFILEINFO fixed = FixedVersionOf(block);
        EXPECT_EQ(Dotted(fixed.dwFileVersionMS, fixed.dwFileVersionLS), version) << "file version";
        EXPECT_EQ(Dotted(fixed.dwProductVersionMS, fixed.dwProductVersionLS), version) << "product version";
        EXPECT_EQ(VersionStringOf(block, "FileVersion"), text);
        EXPECT_EQ(VersionStringOf(block, "ProductVersion"), text);

        const std::string manifest = ManifestOf(Unpacked(pszProgram));
        const size_t nStart = manifest.find("<assemblyIdentity ");
        const std::string identity =
            nStart != std::string::npos ? manifest.substr(nStart, manifest.find("/>", nStart) - nStart) : "";
        EXPECT_TRUE(Contains(identity, " version=\"" + version + "\""))
            << "the manifest's assembly version is not " << version << ":\n"
            << manifest;
    }
}

TEST(Package, ProgramsRunTheirReport)
{
    // The demo installation, in which the build's programs end with 0.
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    const ScratchFolder folder("package-report");
    for (const char* pszProgram : {kProgram32, kProgram64})
    {
        if (pszProgram == kProgram64 && !RunsUnderWow64())
            continue; // a 64-bit program needs 64-bit Windows
        SCOPED_TRACE(pszProgram);
        const std::string path = folder.Path() + "\\" + pszProgram + ".rtf";
        EXPECT_EQ(RunToEnd("/report \"" + path + "\"", folder.Path().c_str(), 120000, Unpacked(pszProgram)),
                  REPORT_EXIT_SUCCEEDED);
        EXPECT_TRUE(EndsWith(RtfToPlainText(ReadFileBytes(path)), ExpectedReport(false).Summary(true).Text()))
            << "no report, or not that of a run that succeeded";
    }
}
