// The check dialog in this process: its class record and message table, the
// template and resources, the size rule, the start of a run, the view switch
// and the closing protocol, with the faults only the seam can give.
#include "res/resource.h"
#include "support/DeviceFixture.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HandleCount.h"
#include "support/SaveDialog.h"
#include "support/SeamFaults.h"
#include "support/TestDialogHost.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
// The program's icon: the system gives the same handle for each load.
HICON ProgramIcon()
{
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}
} // namespace

TEST(CheckDialogClass, RunTimeClassRecord)
{
    const CRuntimeClass* pClass = RUNTIME_CLASS(CUsbInstallationTestDlg);
    EXPECT_STREQ(pClass->m_lpszClassName, "CUsbInstallationTestDlg");
    EXPECT_EQ(pClass->m_nObjectSize, static_cast<int>(sizeof(CUsbInstallationTestDlg)));
    EXPECT_EQ(pClass->m_wSchema, 0xFFFFu);
    EXPECT_EQ(pClass->m_pfnCreateObject, nullptr);
    EXPECT_EQ(pClass->m_pBaseClass, RUNTIME_CLASS(CDialog));
    EXPECT_TRUE(pClass->IsDerivedFrom(RUNTIME_CLASS(CWnd)));
    EXPECT_FALSE(RUNTIME_CLASS(CDialog)->IsDerivedFrom(pClass));
    // That the check thread's routine takes no dialog for its run thread is
    // CheckThread.RejectsANullParameterAndObjectsOfOtherClasses.
}

// Each entry of the table, sent to the dialog as the system would send it,
// has its own handler's effect: a handler bound to another entry shows
// another one. The paced repaint (WM_TIMER, WM_PAINT) shows in the run tests
// below, the closing (WM_DESTROY) in the close tests. Together with
// DetailsSwitchesTheViewAndStartsANewRun: each Details click switches the
// view and starts a run whose report is in the view chosen.
TEST(CheckDialogClass, MessageTableRoutesEachMessageToItsHandler)
{
    NoReceivePause noPause;
    const std::string simulator = SimulatorLibrary();
    DeviceTableOverride table({{-1, -1, simulator.c_str(), nullptr, nullptr}});
    const std::string detail = DetailLine(Text::kOpen);
    TestDialogHost host;
    host.RecordWrites();
    const HWND hwnd = host.Hwnd();
    const auto click = [hwnd](int nID) {
        ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, nID)));
    };
    const auto runsEnded = [&](UINT nRuns) {
        return host.PumpUntil(
            [&] { return CountOf(host.WrittenText(), kRule) == nRuns && host.IsEnabled(IDC_BUTTON_START); });
    };

    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)), ProgramIcon());
    ::SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(500, 400));
    EXPECT_EQ(LayoutOf(hwnd), ExpectedLayout(400, 360));

    // Start: a run in the simple view; its end (WM_APP_RUN_ENDED) hands Start back.
    click(IDC_BUTTON_START);
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_START));
    ASSERT_TRUE(runsEnded(1));
    EXPECT_EQ(host.Caption(IDC_BUTTON_DETAILS), "Details >>");
    EXPECT_FALSE(Contains(host.ReportText(), detail)) << host.ReportText();

    // Details: the detailed view and a run in it, and back.
    for (const bool bDetailed : {true, false})
    {
        click(IDC_BUTTON_DETAILS);
        EXPECT_EQ(host.Caption(IDC_BUTTON_DETAILS), bDetailed ? "<< Simple" : "Details >>");
        ASSERT_TRUE(runsEnded(bDetailed ? 2 : 3));
        const std::string report = host.ReportText();
        // One run's report, in the view just chosen.
        EXPECT_EQ(report.find(kRule), report.rfind(kRule)) << report;
        EXPECT_EQ(Contains(report, detail), bDetailed) << report;
    }

    // Save: the save dialog; no run, no switch.
    {
        SaveDialogScript script;
        script.bCancel = true;
        SaveDialogDriverThread driver(hwnd, script);
        click(IDC_BUTTON_SAVE);
        const SaveDialogSeen& seen = driver.Result();
        EXPECT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    }
    EXPECT_EQ(CountOf(host.WrittenText(), kRule), 3u);
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_START));
    EXPECT_EQ(host.Caption(IDC_BUTTON_DETAILS), "Details >>");

    // Exit has no entry of its own: the base dialog's ends the dialog.
    click(IDCANCEL);
    EXPECT_EQ(host.Hwnd(), nullptr);
    // Nor has the close box's WM_CLOSE: the system turns it into Exit.
    TestDialogHost closed;
    ::SendMessageA(closed.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(closed.PumpUntil([&] { return closed.Hwnd() == nullptr; }));
}

namespace
{
struct TemplateReader
{
    const BYTE* p;
    WORD Word()
    {
        const WORD w = *reinterpret_cast<const WORD*>(p);
        p += 2;
        return w;
    }
    DWORD Dword()
    {
        const DWORD d = *reinterpret_cast<const DWORD*>(p);
        p += 4;
        return d;
    }
    // A string or an ordinal (0xFFFF followed by its value).
    std::string SzOrOrd()
    {
        if (*reinterpret_cast<const WORD*>(p) == 0xFFFF)
        {
            p += 2;
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD w = Word(); w != 0; w = Word())
            text += static_cast<char>(w);
        return text;
    }
    void AlignDword() { p = reinterpret_cast<const BYTE*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3)); }
    // x, y, cx, cy as "(x, y) cx x cy".
    std::string Place()
    {
        const short x = static_cast<short>(Word()), y = static_cast<short>(Word());
        const short cx = static_cast<short>(Word()), cy = static_cast<short>(Word());
        return Describe({x, y, x + cx, y + cy});
    }
};

// A style with every flag of dwSet and none of dwClear.
testing::AssertionResult HasFlags(DWORD dwStyle, DWORD dwSet, DWORD dwClear)
{
    if ((dwStyle & dwSet) == dwSet && (dwStyle & dwClear) == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << std::hex << "style 0x" << dwStyle << " lacks 0x" << (dwSet & ~dwStyle)
                                       << " or has 0x" << (dwStyle & dwClear);
}

// An icon group's directory (GRPICONDIR) and its entries.
#pragma pack(push, 2)
struct IconGroupEntry
{
    BYTE bWidth;
    BYTE bHeight;
    BYTE bColorCount;
    BYTE bReserved;
    WORD wPlanes;
    WORD wBitCount;
    DWORD dwBytesInRes;
    WORD nId;
};
struct IconGroup
{
    WORD idReserved;
    WORD idType;
    WORD idCount;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

const void* LoadResourceData(HMODULE hModule, LPCSTR pszType, WORD wId)
{
    const HRSRC hRes = ::FindResourceA(hModule, MAKEINTRESOURCEA(wId), pszType);
    return hRes != nullptr ? ::LockResource(::LoadResource(hModule, hRes)) : nullptr;
}
} // namespace

TEST(CheckDialogResources, DialogTemplate)
{
    const HMODULE hExe =
        ::LoadLibraryExA((BuildDir() + "\\UsbInstallationTest.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hExe, nullptr);
    const HRSRC hRes = ::FindResourceExA(hExe, MAKEINTRESOURCEA(5) /*RT_DIALOG*/, MAKEINTRESOURCEA(102),
                                         MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_NE(hRes, nullptr) << "template 102 in German";
    TemplateReader r = {static_cast<const BYTE*>(::LockResource(::LoadResource(hExe, hRes)))};
    EXPECT_EQ(r.Word(), 1u);      // version of an extended template
    EXPECT_EQ(r.Word(), 0xFFFFu); // signature
    EXPECT_EQ(r.Dword(), 0u);     // help ID
    // A window of its own on the task bar, with a caption, a system menu and
    // both boxes and the template's font; without a sizing border, so that its
    // size changes only by maximizing, restoring and minimizing.
    EXPECT_TRUE(HasFlags(r.Dword(), WS_EX_APPWINDOW, 0));
    EXPECT_TRUE(HasFlags(r.Dword(),
                         WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                             DS_MODALFRAME | DS_SHELLFONT,
                         WS_CHILD | WS_DISABLED | WS_THICKFRAME));
    EXPECT_EQ(r.Word(), 5u); // controls
    EXPECT_EQ(r.Place(), Describe({0, 0, 326, 180})) << "in dialog units";
    EXPECT_EQ(r.SzOrOrd(), ""); // menu
    EXPECT_EQ(r.SzOrOrd(), ""); // class
    EXPECT_EQ(r.SzOrOrd(), "QUELM - USB Installation and Communication Check");
    EXPECT_EQ(r.Word(), 8u); // point size
    EXPECT_EQ(r.Word(), 0u); // weight
    EXPECT_EQ(*r.p++, 0u);   // italic
    EXPECT_EQ(*r.p++, static_cast<BYTE>(DEFAULT_CHARSET));
    // The shell dialog font, which scales crisply: the bitmap face "MS Sans
    // Serif" has no sizes for 125 to 200 %.
    EXPECT_EQ(r.SzOrOrd(), "MS Shell Dlg");

    // In the tab order of the table, the report first; OnInitDialog gives
    // them their places and captions. The report is read-only text that
    // scrolls both ways; the buttons are push buttons.
    const DWORD dwTabStop = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    const DWORD dwReport = dwTabStop | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY;
    const struct
    {
        WORD wID;
        const char* pszClass; // "#128": the predefined button class
        DWORD dwStyle;
    } kControls[] = {
        {IDC_RICHEDIT_LOG, "RICHEDIT", dwReport},
        {IDC_BUTTON_START, "#128", dwTabStop},
        {IDC_BUTTON_DETAILS, "#128", dwTabStop},
        {IDC_BUTTON_SAVE, "#128", dwTabStop},
        {IDCANCEL, "#128", dwTabStop},
    };
    for (const auto& control : kControls)
    {
        r.AlignDword();
        EXPECT_EQ(r.Dword(), 0u) << control.wID; // help ID
        EXPECT_EQ(r.Dword(), 0u) << control.wID; // extended style
        const DWORD dwStyle = r.Dword();
        EXPECT_TRUE(HasFlags(dwStyle, control.dwStyle, WS_DISABLED)) << control.wID;
        if (control.wID != IDC_RICHEDIT_LOG)
        {
            EXPECT_EQ(dwStyle & BS_TYPEMASK, static_cast<DWORD>(BS_PUSHBUTTON)) << control.wID;
        }
        EXPECT_EQ(r.Place(), Describe({0, 0, 0, 0})) << control.wID;
        EXPECT_EQ(r.Dword(), control.wID);
        EXPECT_EQ(r.SzOrOrd(), control.pszClass) << control.wID;
        EXPECT_EQ(r.SzOrOrd(), "") << control.wID; // caption
        EXPECT_EQ(r.Word(), 0u) << control.wID;    // creation data
    }
    ::FreeLibrary(hExe);
}

TEST(CheckDialogResources, IconsAndVersionBlock)
{
    const std::string exe = BuildDir() + "\\UsbInstallationTest.exe";
    const HMODULE hExe = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hExe, nullptr);
    // 16 colours, bitmaps that XP reads too: the window's icon at 16 pixels
    // (first, as it was), 32, 48 and 256; and one of 32.
    const struct
    {
        WORD wGroup;
        std::vector<LONG> sizes;
    } kIcons[] = {{IDR_MAINFRAME, {16, 32, 48, 256}}, {IDI_LARGE_ICON, {32}}};
    for (const auto& icon : kIcons)
    {
        const auto* pGroup = static_cast<const IconGroup*>(LoadResourceData(hExe, RT_GROUP_ICON, icon.wGroup));
        ASSERT_NE(pGroup, nullptr) << icon.wGroup;
        ASSERT_EQ(pGroup->idCount, icon.sizes.size()) << icon.wGroup;
        for (size_t i = 0; i < icon.sizes.size(); ++i)
        {
            const auto* pImage =
                static_cast<const BITMAPINFOHEADER*>(LoadResourceData(hExe, RT_ICON, pGroup->entries[i].nId));
            ASSERT_NE(pImage, nullptr) << icon.wGroup;
            // The image and its mask, one above the other.
            EXPECT_EQ(Describe({0, 0, pImage->biWidth, pImage->biHeight / 2}) + ", " +
                          std::to_string(pImage->biBitCount),
                      Describe({0, 0, icon.sizes[i], icon.sizes[i]}) + ", 4")
                << icon.wGroup << ", image " << i;
        }
    }
    ::FreeLibrary(hExe);

    // The version numbers come from the project's version; the package test
    // compares them with it.
    const std::vector<BYTE> block = VersionBlockOf(exe);
    ASSERT_FALSE(block.empty()) << "no version block";
    const VS_FIXEDFILEINFO fixed = FixedVersionOf(block);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0u);
    EXPECT_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    WORD* pTranslation = nullptr;
    UINT cbTranslation = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation),
                                 &cbTranslation));
    EXPECT_EQ(pTranslation[0], 0x0407u);
    EXPECT_EQ(pTranslation[1], 0x04B0u);
    const struct
    {
        const char* pszName;
        const char* pszValue;
    } kStrings[] = {
        {"FileDescription", "USB Installations- und Kommunikationstest"},
        {"ProductName", ""},
        {"InternalName", ""},
    };
    for (const auto& entry : kStrings)
        EXPECT_EQ(VersionStringOf(block, entry.pszName), entry.pszValue) << entry.pszName;
}

TEST(CheckDialogResources, ManifestAsksForNoElevationAndSuitsXp)
{
    const std::string exe = BuildDir() + "\\UsbInstallationTest.exe";
    const std::string manifest = ManifestOf(exe);
    ASSERT_FALSE(manifest.empty()) << "no manifest (type 24, id 1): Vista and later take the program for an "
                                      "installer and ask for administrator rights";
    SCOPED_TRACE("the manifest:\n" + manifest);

    // The loader parses it (Wine's refuses XML that is not well-formed) and
    // reads the level from it.
    ACTCTXA context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = exe.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    const HANDLE hContext = ::CreateActCtxA(&context);
    ASSERT_NE(hContext, INVALID_HANDLE_VALUE) << "CreateActCtxA failed with " << ::GetLastError();
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
    EXPECT_TRUE(
        ::QueryActCtxW(0, hContext, nullptr, RunlevelInformationInActivationContext, &level, sizeof(level), nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER) << "the requested execution level";
    EXPECT_EQ(level.UiAccess, 0u) << "uiAccess";
    // System DPI awareness: Windows hands the program the screen's DPI rather
    // than stretching its window as a bitmap.
    WCHAR szDpiAware[16] = {};
    EXPECT_TRUE(::QueryActCtxSettingsW(0, hContext, nullptr, L"dpiAware", szDpiAware, 16, nullptr) &&
                std::wstring(szDpiAware) == L"true")
        << "dpiAware: " << ::GetLastError();
    ::ReleaseActCtx(hContext);

    // What Wine accepts and Windows does not, read in the text itself.
    EXPECT_EQ(manifest.find("<?xml version=\"1.0\" encoding=\"UTF-8\""), 0u) << "not declared as UTF-8";
    EXPECT_TRUE(Contains(manifest, "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
                                   "xmlns:asmv3=\"urn:schemas-microsoft-com:asm.v3\"") &&
                CountOf(manifest, "urn:schemas-microsoft-com:asm.v3") == 1 && Contains(manifest, "<asmv3:trustInfo>") &&
                Contains(manifest, "<asmv3:application>"))
        << "the asm.v3 namespace must be declared once, for trustInfo and application: XP refuses trustInfo "
           "without it, and XP SP2 can restart on a second declaration";
    EXPECT_FALSE(Contains(manifest, "Common-Controls")) << "Common Controls 6: the dialog keeps its classic look";
    // Vista, 7, 8, 8.1, 10 and 11.
    for (const char* pszId : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                              "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                              "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_TRUE(Contains(manifest, "<supportedOS Id=\"{" + std::string(pszId) + "}\"/>"))
            << "supportedOS " << pszId;

    // The 64-bit program's is the same but for its own architecture: Windows
    // refuses to start a program whose manifest names another.
    const std::string kArchitecture = "processorArchitecture=\"x86\"";
    std::string manifest64 = manifest;
    ASSERT_EQ(CountOf(manifest, kArchitecture), 1u) << "the 32-bit program's own architecture";
    manifest64.replace(manifest64.find(kArchitecture), kArchitecture.size(), "processorArchitecture=\"amd64\"");
    EXPECT_EQ(ManifestOf(BuildDir() + "\\UsbInstallationTest64.exe"), manifest64);
}

TEST(CheckDialogLayout, OpensInTheOpenedStateWithItsPlacement)
{
    TestDialogHost host;
    const HWND hwnd = host.Hwnd();
    ExpectOpenedState(hwnd);
    // The report is first in the tab order, so it has the focus once the
    // dialog is active (another test's window may be active when it opens).
    const HWND hwndReport = ::GetDlgItem(hwnd, IDC_RICHEDIT_LOG);
    ::SetForegroundWindow(hwnd);
    EXPECT_TRUE(host.PumpUntil([&] { return ::GetFocus() == hwndReport; }, 10000)) << "focus on " << ::GetFocus();

    // The icon, as window icon and as the minimized window's drag cursor.
    EXPECT_NE(ProgramIcon(), nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0)), ProgramIcon());
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)), ProgramIcon());
}

// SizeRuleKeepsTheWidthAndAMinimumHeight and MaximizeMinimizeAndRestore.
TEST(CheckDialogLayout, SizeRuleKeepsTheWidthAndAMinimumHeight)
{
    TestDialogHost host;
    const HWND hwnd = host.Hwnd();
    // 500 x 300 lays the controls out and leaves the window where it is.
    RECT rcBefore;
    ::GetWindowRect(hwnd, &rcBefore);
    ::SendMessageA(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(500, 300));
    RECT rcAfter;
    ::GetWindowRect(hwnd, &rcAfter);
    EXPECT_EQ(Describe(rcAfter), Describe(rcBefore));
    EXPECT_EQ(LayoutOf(hwnd), ExpectedLayout(300, 260));

    ExpectSizeRule(
        hwnd, [&](const std::function<bool()>& pred, DWORD dwTimeoutMs) { return host.PumpUntil(pred, dwTimeoutMs); });
}

TEST(CheckDialogRun, ThreadCreationFailingLeavesTheStartFailedState)
{
    TestDialogHost host;
    host.Dialog().WriteLog("old report", LOG_TEXT);
    {
        CallFault noThread(g_SystemCalls.CreateThread, nullptr, ERROR_NOT_ENOUGH_MEMORY);
        host.Click(IDC_BUTTON_START);
    }
    EXPECT_EQ(host.ReportText(), "");
    EXPECT_TRUE(host.IsEnabled(IDC_BUTTON_START));
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_DETAILS));
    EXPECT_FALSE(host.IsEnabled(IDC_BUTTON_SAVE));

    // A later click tries again.
    DeviceTableOverride table({});
    ASSERT_TRUE(host.StartAndWaitForEnd());
    EXPECT_TRUE(Contains(host.ReportText(), kRule));
    // The report paints at its own pace during a run and normally again after it.
    const HWND hwndLog = host.Report();
    host.PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(::IsWindowVisible(hwndLog));
    EXPECT_EQ(::GetUpdateRect(hwndLog, nullptr, FALSE), FALSE);
    // Held between two repaints, a focused report keeps the focus without its
    // caret; the next repaint gives the caret back.
    ::SetFocus(hwndLog);
    ASSERT_TRUE(HasFocusAndCaret(hwndLog));
    host.Dialog().BeginRunPainting();
    host.Dialog().WriteLog("held", LOG_TEXT);
    EXPECT_EQ(::GetFocus(), hwndLog);
    EXPECT_FALSE(HasFocusAndCaret(hwndLog));
    EXPECT_TRUE(host.PumpUntil([&] { return ::IsWindowVisible(hwndLog) && HasFocusAndCaret(hwndLog); }, 15000));
    host.Dialog().EndRunPainting();
}

// A detailed run whose devices never answer, with more lines than the report
// shows: the report stays visible and under the pointer, keeps the focus with
// its caret, and the wheel scrolls it.
TEST(CheckDialogRun, TheReportIsVisibleAndScrollsDuringARun)
{
    const std::string simulator = SimulatorLibrary();
    DeviceTableOverride table({{0x0403, 0x0001, simulator.c_str(), "U.EXE", "U.INI"}});
    ScenarioFile scenario(SilentInstruments(3));
    TestDialogHost host;
    // Above the windows other tests may open at the same place.
    ::SetWindowPos(host.Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(host.Hwnd());
    const HWND hwndLog = host.Report();
    ASSERT_TRUE(host.PumpUntil([&] { return ::GetFocus() == hwndLog; }));
    RECT rc;
    ::GetWindowRect(hwndLog, &rc);
    const POINT ptCentre = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    const auto firstLine = [&] { return ::SendMessageA(hwndLog, EM_GETFIRSTVISIBLELINE, 0, 0); };
    const auto running = [&] { return !host.IsEnabled(IDC_BUTTON_START); };

    host.Click(IDC_BUTTON_DETAILS);
    ASSERT_TRUE(host.PumpUntil([&] { return Contains(host.ReportText(), DetailLine(Text::kSend)); }));
    EXPECT_TRUE(host.PumpUntil([&] {
        return running() && ::IsWindowVisible(hwndLog) && ::WindowFromPoint(ptCentre) == hwndLog;
    })) << "the report was hidden or not under the pointer during the run";
    EXPECT_TRUE(host.PumpUntil([&] { return running() && HasFocusAndCaret(hwndLog); }, 15000))
        << "the report lost its focus or caret during the run";
    ASSERT_GT(firstLine(), 0) << host.ReportText();
    EXPECT_TRUE(host.PumpUntil([&] {
        const LRESULT nBefore = firstLine();
        ::SendMessageA(::WindowFromPoint(ptCentre), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                       MAKELPARAM(ptCentre.x, ptCentre.y));
        return running() && firstLine() < nBefore;
    })) << "the report did not scroll during the run";
}

namespace
{
bool g_bDetailsClicked = false;
bool g_bStartEnabledAtTheClick = true;

// Holds the run's hand-over after its last line, and clicks Details there, once.
LRESULT WINAPI ClickingDetailsBeforeTheHandOver(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_APP_RUN_ENDED && !g_bDetailsClicked)
    {
        g_bDetailsClicked = true;
        ::SendMessageA(::GetDlgItem(hwnd, IDC_BUTTON_DETAILS), BM_CLICK, 0, 0);
        g_bStartEnabledAtTheClick = ::IsWindowEnabled(::GetDlgItem(hwnd, IDC_BUTTON_START)) != FALSE;
    }
    return ::SendMessageA(hwnd, nMessage, wParam, lParam);
}
} // namespace

TEST(CheckDialogRun, DetailsClickedAsARunEndsRunsAgainWithStartNeverEnabledMeanwhile)
{
    TestDialogHost host;
    DeviceTableOverride table({});
    g_bDetailsClicked = false;
    SystemCallOverride<decltype(g_SystemCalls.SendMessageA)> seam(g_SystemCalls.SendMessageA,
                                                                  ClickingDetailsBeforeTheHandOver);
    host.RecordWrites();
    host.Click(IDC_BUTTON_START);
    bool bStartEnabledDuringARun = false;
    ASSERT_TRUE(host.PumpUntil([&] {
        const size_t nRunsEnded = CountOf(host.WrittenText(), kRule);
        bStartEnabledDuringARun |= host.IsEnabled(IDC_BUTTON_START) && nRunsEnded < 2;
        return nRunsEnded == 2 && host.IsEnabled(IDC_BUTTON_START);
    }));
    EXPECT_TRUE(g_bDetailsClicked);
    EXPECT_FALSE(g_bStartEnabledAtTheClick);
    EXPECT_FALSE(bStartEnabledDuringARun);
    EXPECT_TRUE(EndsWith(host.ReportText(), ExpectedReport(true).Summary(true).Text())) << host.ReportText();
    // The click emptied the report after the run's last line: the second run
    // writes it again, in the view chosen.
    EXPECT_EQ(host.Caption(IDC_BUTTON_DETAILS), "<< Simple");
    EXPECT_EQ(CountOf(host.ReportText(), kRule), 1u) << host.ReportText();
}

namespace
{
// Starts a run and waits until the report shows the text; a copy of the run's
// thread handle, which outlives the dialog's own.
HANDLE StartRunUntil(TestDialogHost& host, const std::string& shown)
{
    HANDLE hThread = nullptr;
    {
        // The click starts the run's thread and no other.
        const ThreadRecorder threads;
        host.Click(IDC_BUTTON_START);
        hThread = ThreadRecorder::TakeLast();
    }
    EXPECT_TRUE(host.PumpUntil([&] { return Contains(host.ReportText(), shown); }))
        << "the run did not show \"" << shown << "\"; the report held:\n"
        << host.ReportText();
    return hThread;
}
} // namespace

// ClosingWithoutARunSetsNoFlag, then ClosingDuringARunCancelsItAndWaitsForItsEnd.
TEST(CheckDialogClose, ClosingDuringARunCancelsItAndWaitsForItsEnd)
{
    const std::string simulator = SimulatorLibrary();
    DeviceTableOverride table({{-1, -1, simulator.c_str(), nullptr, nullptr}});
    ScenarioFile scenario("[device0]\nsilent=1\n");
    // Only a run's cancel signals an event through the seam.
    {
        TestDialogHost idle;
        const SetEventRecorder signals;
        ::DestroyWindow(idle.Hwnd());
        EXPECT_EQ(SetEventRecorder::Calls(), 0) << "closed without a run";
    }

    TestDialogHost host;
    const SetEventRecorder signals;
    host.RecordWrites();
    // A run whose device does not answer, still waiting when the dialog closes.
    host.SetDetailed(true);
    const HANDLE hThread = StartRunUntil(host, DetailLine(Text::kWait) + DetailLine(Text::kSend));
    ASSERT_NE(hThread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(hThread, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    ::DestroyWindow(host.Hwnd());

    EXPECT_EQ(SetEventRecorder::Calls(), 1);
    EXPECT_EQ(::WaitForSingleObject(hThread, 0), WAIT_OBJECT_0) << "the thread has ended when the window is gone";
    // The cancel ended the device's wait, which would otherwise have timed out.
    const std::string written = host.WrittenText();
    EXPECT_TRUE(Contains(written, DetailLine(Text::kCancelled))) << written;
    EXPECT_FALSE(Contains(written, "timeout")) << written;
    ::CloseHandle(hThread);
}

TEST(CheckDialogClose, WithoutACancelEventTheRunIsStillCancelledAndWaitedFor)
{
    NoReceivePause noPause;
    const std::string simulator = SimulatorLibrary();
    const DEVICE_INFO device = {-1, -1, simulator.c_str(), nullptr, nullptr};
    DeviceTableOverride table({device, device, device});
    std::unique_ptr<TestDialogHost> pHost;
    {
        CallFault noEvent(g_SystemCalls.CreateEventA, nullptr, ERROR_NOT_ENOUGH_MEMORY);
        pHost.reset(new TestDialogHost());
    }
    const HANDLE hThread = StartRunUntil(*pHost, Text::kLoad);
    ASSERT_NE(hThread, nullptr);

    ::DestroyWindow(pHost->Hwnd());
    EXPECT_EQ(::WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    // The destructor may now unload whatever the run had loaded.
    pHost.reset();
    ::CloseHandle(hThread);
}

// More runs than the handle count may stray, so that one handle kept per run
// shows, and 20 KB kept per run shows in the private bytes.
TEST(CheckDialogRun, RepeatedRunsKeepHandlesAndMemoryFlat)
{
    TestDialogHost host;
    NoReceivePause noPause;
    const std::string simulator = SimulatorLibrary();
    DeviceTableOverride table({{0x0403, 0x0001, simulator.c_str(), "U.EXE", "U.INI"}});
    const long nStray = 2;
    const int nRuns = 10;
    const SIZE_T cbPerRun = 20 * 1024;
    // A run's thread may still be ending after it handed the run back, and its
    // stack counts as private bytes: a run counts once it has gone.
    const long nThreadsIdle = CountProcessThreads(::GetCurrentProcessId());
    const auto run = [&] {
        EXPECT_TRUE(host.StartAndWaitForEnd());
        host.PumpUntil([&] { return CountProcessThreads(::GetCurrentProcessId()) <= nThreadsIdle; }, 10000);
    };
    // Runs first, for what the process keeps once it has run.
    run();
    run();
    const SIZE_T cbBefore = ProcessPrivateBytes(::GetCurrentProcess());
    const long nLeft = HandlesLeftBy(run, nRuns, [&](const std::function<bool()>& pred, DWORD dwTimeoutMs) {
        return host.PumpUntil(pred, dwTimeoutMs);
    });
    const SIZE_T cbAfter = ProcessPrivateBytes(::GetCurrentProcess());
    EXPECT_LE(nLeft, nStray) << "handles left by " << nRuns << " runs";
    EXPECT_LT(cbAfter, cbBefore + nRuns * cbPerRun)
        << "private bytes " << cbBefore << " before " << nRuns << " runs, " << cbAfter << " after";
}
