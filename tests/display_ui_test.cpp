// The check dialog at the screen's DPI and in a high-contrast theme. Both are
// settings of the whole prefix, read by a program as it starts: this test
// runs in a prefix of its own (wineprefix-display), and its cases at a DPI in
// a process of this test started at that DPI. The dialog is the test
// process's own, whose icons and fonts can be read, and whose seam gives what
// Wine cannot set for another process: the high-contrast flag, a work area.
#include "support/RegistryFixture.h"
#include "report/ReportFile.h"
#include "res/resource.h"
#include "support/Fixtures.h"
#include "support/TestDialogHost.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>

namespace
{
const char kDesktopKey[] = "Control Panel\\Desktop";

// The screen's DPI ("LogPixels") for the programs started while it lives;
// then the prefix's default, 96.
class ScreenDpi : NonCopyable
{
public:
    explicit ScreenDpi(DWORD dwDpi)
    {
        EXPECT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &dwDpi, sizeof(dwDpi)), 0);
    }
    ~ScreenDpi() { ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels"); }
};

// The window's client area as the screen shows it, one 0x00RRGGBB per pixel.
std::vector<DWORD> ClientPixels(HWND hwnd)
{
    RECT rc = {};
    ::GetClientRect(hwnd, &rc);
    ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    const LONG cx = rc.right - rc.left;
    const LONG cy = rc.bottom - rc.top;
    BITMAPINFO bmi = {{sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<DWORD> pixels(cx * cy);
    const HDC hdcScreen = ::GetDC(nullptr);
    const HDC hdcMemory = ::CreateCompatibleDC(hdcScreen);
    const HBITMAP hBitmap = ::CreateCompatibleBitmap(hdcScreen, cx, cy);
    const HGDIOBJ hOld = ::SelectObject(hdcMemory, hBitmap);
    ::BitBlt(hdcMemory, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY);
    ::SelectObject(hdcMemory, hOld);
    if (::GetDIBits(hdcMemory, hBitmap, 0, cy, pixels.data(), &bmi, DIB_RGB_COLORS) != cy)
        pixels.clear();
    ::DeleteObject(hBitmap);
    ::DeleteDC(hdcMemory);
    ::ReleaseDC(nullptr, hdcScreen);
    for (DWORD& dwPixel : pixels)
        dwPixel &= 0xFFFFFF;
    return pixels;
}

// The share of the pixels that differ clearly from the most frequent one, the background.
double ShareOfInk(const std::vector<DWORD>& pixels)
{
    std::map<DWORD, size_t> counts;
    for (const DWORD dwPixel : pixels)
        ++counts[dwPixel];
    const DWORD dwBackground = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                                   return a.second < b.second;
                               })->first;
    const auto differsClearly = [dwBackground](DWORD dwPixel) {
        for (const int nShift : {0, 8, 16})
        {
            if (std::abs(static_cast<int>((dwPixel >> nShift) & 0xFF) -
                         static_cast<int>((dwBackground >> nShift) & 0xFF)) > 64)
                return true;
        }
        return false;
    };
    return static_cast<double>(std::count_if(pixels.begin(), pixels.end(), differsClearly)) / pixels.size();
}

// Every button shows its pixels (its edges and caption), not only its
// rectangle over the dialog's background.
void ExpectEveryButtonDrawn(TestDialogHost& host, const char* pszWhen)
{
    std::string undrawn;
    host.PumpUntil(
        [&] {
            undrawn.clear();
            for (const int nID : {IDC_BUTTON_START, IDC_BUTTON_DETAILS, IDC_BUTTON_SAVE, IDCANCEL})
            {
                if (ShareOfInk(ClientPixels(::GetDlgItem(host.Hwnd(), nID))) < 0.05)
                    undrawn += " " + std::to_string(nID);
            }
            return undrawn.empty();
        },
        5000);
    EXPECT_EQ(undrawn, "") << "buttons not drawn " << pszWhen;
}

LONG g_nWorkAreaHeight = 0;

BOOL WINAPI LowWorkArea(HMONITOR hMonitor, LPMONITORINFO pInfo)
{
    const BOOL bResult = ::GetMonitorInfoA(hMonitor, pInfo);
    pInfo->rcWork.bottom = pInfo->rcWork.top + g_nWorkAreaHeight;
    return bResult;
}
} // namespace

// At 96, 120, 144 and 192 DPI, each in a process that AtEachDpi... starts at
// that DPI: this test's own process has been seen at a DPI that an earlier
// child was started at, although LogPixels was deleted again.
TEST(DisplayAtScreenDpi, DISABLED_TheDialogScalesFitsAndDrawsEveryButton)
{
    const char* pszDpi = std::getenv("DISPLAY_TEST_DPI");
    const int nDpi = pszDpi != nullptr ? std::atoi(pszDpi) : 0;
    const HDC hdc = ::GetDC(nullptr);
    EXPECT_EQ(::GetDeviceCaps(hdc, LOGPIXELSY), nDpi) << "the screen's DPI in this process";
    TestDialogHost host;
    const HWND hwnd = host.Hwnd();
    ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // Each caption in its button, in the button's own font.
    const std::pair<int, const char*> kCaptions[] = {{IDC_BUTTON_START, "Start Check Routine"},
                                                     {IDC_BUTTON_DETAILS, "Details >>"},
                                                     {IDC_BUTTON_DETAILS, "<< Simple"},
                                                     {IDC_BUTTON_SAVE, "Save Informations"},
                                                     {IDCANCEL, "Exit"}};
    for (const auto& caption : kCaptions)
    {
        const HWND hwndButton = ::GetDlgItem(hwnd, caption.first);
        ::SelectObject(hdc, reinterpret_cast<HGDIOBJ>(::SendMessageA(hwndButton, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        ::GetTextExtentPoint32A(hdc, caption.second, static_cast<int>(std::strlen(caption.second)), &extent);
        RECT rcButton = {};
        ::GetClientRect(hwndButton, &rcButton);
        EXPECT_TRUE(extent.cx <= rcButton.right && extent.cy <= rcButton.bottom)
            << "\"" << caption.second << "\" needs " << extent.cx << " x " << extent.cy << " in a button of "
            << rcButton.right << " x " << rcButton.bottom;
    }
    ::ReleaseDC(nullptr, hdc);
    // Within a 1366 x 768 screen at 200 %.
    RECT rcWindow = {};
    ::GetWindowRect(hwnd, &rcWindow);
    EXPECT_TRUE(rcWindow.right - rcWindow.left <= 1366 && rcWindow.bottom - rcWindow.top <= 768) << Describe(rcWindow);
    // The big and small icons at the sizes the system metrics ask for.
    for (const auto& icon : {std::make_pair(ICON_BIG, SM_CXICON), std::make_pair(ICON_SMALL, SM_CXSMICON)})
    {
        ICONINFO info = {};
        BITMAP bitmap = {};
        ::GetIconInfo(reinterpret_cast<HICON>(::SendMessageA(hwnd, WM_GETICON, icon.first, 0)), &info);
        ::GetObjectA(info.hbmColor, sizeof(bitmap), &bitmap);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(icon.second)) << "icon " << icon.first << " (1 big, 0 small)";
    }

    // Maximized, every button drawn; restored, the first layout to the pixel.
    const std::string first = LayoutOf(hwnd);
    ExpectEveryButtonDrawn(host, "as the dialog opens");
    ::ShowWindow(hwnd, SW_MAXIMIZE);
    ExpectEveryButtonDrawn(host, "after a maximize");
    ::ShowWindow(hwnd, SW_RESTORE);
    EXPECT_EQ(LayoutOf(hwnd), first) << "after a restore";
    ExpectEveryButtonDrawn(host, "after a restore");
    ExpectSizeRule(
        hwnd, [&](const std::function<bool()>& pred, DWORD dwTimeoutMs) { return host.PumpUntil(pred, dwTimeoutMs); },
        nDpi);

    // A work area lower than the window at the size rule's minimum (200 % on
    // a screen 768 pixels high with Windows 11's taskbar leaves 672 pixels for
    // a window of 674), not than the template: the window fits it, the buttons
    // keep their size.
    g_nWorkAreaHeight = (rcWindow.bottom - rcWindow.top) - AtDpi(3, nDpi);
    const SystemCallOverride<decltype(SystemCalls::GetMonitorInfoA)> workArea(g_SystemCalls.GetMonitorInfoA,
                                                                              LowWorkArea);
    TestDialogHost low;
    ::GetWindowRect(low.Hwnd(), &rcWindow);
    RECT rcClient = {};
    ::GetClientRect(low.Hwnd(), &rcClient);
    EXPECT_EQ(rcWindow.bottom - rcWindow.top, g_nWorkAreaHeight) << "the window in a low work area";
    EXPECT_EQ(
        LayoutOf(low.Hwnd()),
        ExpectedLayout(rcClient.bottom, rcClient.bottom - ::GetSystemMetrics(SM_CYDLGFRAME) - AtDpi(40, nDpi), nDpi));
}

TEST(DisplayUi, AtEachDpiTheDialogScalesFitsAndDrawsEveryButton)
{
    char szExe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    for (const DWORD dwDpi : {96, 120, 144, 192})
    {
        const ScreenDpi dpi(dwDpi);
        SetEnv("DISPLAY_TEST_DPI", std::to_string(dwDpi));
        EXPECT_EQ(
            RunToEnd("--gtest_also_run_disabled_tests --gtest_filter=DisplayAtScreenDpi.*", nullptr, 60000, szExe), 0u)
            << "at " << dwDpi << " DPI (its output above)";
    }
}

namespace
{
const INT kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};

BOOL WINAPI HighContrastFlagOn(UINT nAction, UINT nParam, PVOID pParam, UINT nWinIni)
{
    if (nAction != SPI_GETHIGHCONTRAST)
        return ::SystemParametersInfoA(nAction, nParam, pParam, nWinIni);
    static_cast<HIGHCONTRASTA*>(pParam)->dwFlags = HCF_HIGHCONTRASTON;
    return TRUE;
}

// A high-contrast theme as the user switches it on: black windows with
// yellow text (SetSysColors, which tells the windows), and the flag (unless
// bFlag is false). Wine 8 cannot set the flag: SPI_SETHIGHCONTRAST fails with
// ERROR_INVALID_SPI_VALUE, SPI_GETHIGHCONTRAST answers off. The seam does.
class HighContrastTheme : NonCopyable
{
public:
    explicit HighContrastTheme(bool bFlag = true)
        : m_flag(g_SystemCalls.SystemParametersInfoA, bFlag ? HighContrastFlagOn : g_SystemCalls.SystemParametersInfoA)
    {
        const COLORREF colours[] = {RGB(0, 0, 0), RGB(255, 255, 0)};
        ::SetSysColors(2, kElements, colours);
    }
    ~HighContrastTheme() { ::SetSysColors(2, kElements, m_saved); }

private:
    const SystemCallOverride<decltype(SystemCalls::SystemParametersInfoA)> m_flag;
    const COLORREF m_saved[2] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
};

// The report's pixels at its top (or bottom) once the screen holds still, and
// whether they are the theme's yellow on black (all of them a shade between
// the two, some the yellow itself) or the designed heading blue on white.
void ExpectReportColours(TestDialogHost& host, bool bSystem, const char* pszWhen, WPARAM nScroll = SB_TOP)
{
    ::SetFocus(::GetDlgItem(host.Hwnd(), IDCANCEL)); // no caret in the report
    ::SendMessageA(host.Report(), WM_VSCROLL, nScroll, 0);
    std::vector<DWORD> pixels;
    DWORD dwChanged = 0;
    EXPECT_TRUE(host.PumpUntil([&] {
        std::vector<DWORD> now = ClientPixels(host.Report());
        if (now.empty() || now != pixels)
        {
            pixels.swap(now);
            dwChanged = ::GetTickCount();
        }
        return !pixels.empty() && ::GetTickCount() - dwChanged >= 300;
    })) << "the report did not hold still for 300 ms";
    const auto count = [&](DWORD dwPixel) { return std::count(pixels.begin(), pixels.end(), dwPixel); };
    const long nOther = std::count_if(pixels.begin(), pixels.end(), [](DWORD dwPixel) {
        return std::abs(static_cast<int>(dwPixel >> 16) - static_cast<int>((dwPixel >> 8) & 0xFF)) > 16 ||
               (dwPixel & 0xFF) > 16;
    });
    const long nSize = static_cast<long>(pixels.size());
    if (bSystem)
        EXPECT_TRUE(count(0x000000) > nSize / 2 && count(0xFFFF00) > nSize / 200 && nOther == 0)
            << pszWhen << ": " << count(0x000000) << " black, " << count(0xFFFF00) << " yellow and " << nOther
            << " others of " << nSize << " pixels";
    else
        EXPECT_TRUE(count(0xFFFFFF) > nSize / 2 && count(0x0000FF) > 0)
            << pszWhen << ": " << count(0xFFFFFF) << " white and " << count(0x0000FF) << " blue of " << nSize;
}

// Saved as "Save Informations" saves it, with the response time and the
// report's own time, which differ from run to run, as "#".
std::string SavedReport(TestDialogHost& host, const std::string& path)
{
    EXPECT_EQ(SaveReportAsRtf(host.ReportControl(), Wide(path).c_str()), 0u);
    return std::regex_replace(ReadFileBytes(path), std::regex("Response time:   [0-9.]+ ms|[0-9-]{10} [0-9:]{8}"), "#");
}
} // namespace

// The report keeps its designed colours in a theme of dark colours, shows
// the system's in high contrast, set before the dialog opens or switched on
// during a run, and saves the designed ones whatever the theme.
TEST(DisplayUi, AHighContrastThemeColoursTheReportButNotItsRtf)
{
    // The demo installation, whose instrument is held at its open when asked.
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    const NoReceivePause noPause;
    DeviceHold hold;
    hold.Release();
    const ScenarioFile scenario("[device0]\nhold_event = " + hold.Name() + "\n");
    const ScratchFolder folder("display");
    const auto detailedRun = [](TestDialogHost& host) {
        host.Click(IDC_BUTTON_DETAILS);
        EXPECT_TRUE(host.PumpUntil([&] { return host.IsEnabled(IDC_BUTTON_START); })) << host.ReportText();
    };
    std::string designed;
    {
        const HighContrastTheme darkColours(false);
        TestDialogHost host;
        detailedRun(host);
        ExpectReportColours(host, false, "dark colours without high contrast");
        designed = SavedReport(host, folder.Path() + "\\designed.rtf");
    }
    {
        const HighContrastTheme theme;
        TestDialogHost host;
        detailedRun(host);
        ExpectReportColours(host, true, "high contrast as the dialog opens");
    }
    TestDialogHost host;
    const DeviceHold::ReleaseFirst release(hold);
    hold.Hold();
    host.Click(IDC_BUTTON_DETAILS);
    ASSERT_TRUE(host.PumpUntil([&] { return Contains(host.ReportText(), "\tOpen the connection.\n"); }));
    {
        const HighContrastTheme theme; // told by WM_SYSCOLORCHANGE
        ExpectReportColours(host, true, "switched on during the run");
        hold.Release();
        EXPECT_TRUE(host.PumpUntil([&] { return host.IsEnabled(IDC_BUTTON_START); })) << host.ReportText();
        ExpectReportColours(host, true, "the lines after the switch", SB_BOTTOM);
        EXPECT_EQ(SavedReport(host, folder.Path() + "\\during.rtf"), designed) << "saved in high contrast";
    }
    // Told by WM_SETTINGCHANGE, once the flag is off.
    ::SendMessageA(host.Hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    ExpectReportColours(host, false, "switched off again");
    EXPECT_EQ(SavedReport(host, folder.Path() + "\\after.rtf"), designed) << "saved after high contrast";
}
