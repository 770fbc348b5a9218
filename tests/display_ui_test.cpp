// The real UsbInstallationTest.exe at the screen's DPI and in a high-contrast
// theme. Both are settings of the whole prefix, read by a program as it
// starts: this test runs in a prefix of its own (wineprefix-display), sets
// them before it starts the program and puts them back afterwards.
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/Fixtures.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

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

// The caption's size in the dialog's font as the dialog manager makes it from
// the template, 8 point "MS Sans Serif", at that DPI.
SIZE CaptionExtent(const std::string& caption, int nDpi)
{
    const HFONT hFont = ::CreateFontA(-::MulDiv(8, nDpi, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                                      DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    const HDC hdc = ::GetDC(nullptr);
    const HGDIOBJ hOld = ::SelectObject(hdc, hFont);
    SIZE size = {};
    ::GetTextExtentPoint32A(hdc, caption.c_str(), static_cast<int>(caption.size()), &size);
    ::DeleteObject(::SelectObject(hdc, hOld));
    ::ReleaseDC(nullptr, hdc);
    return size;
}

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
} // namespace

// XP at 120 DPI and Vista and 7 at 125 % enlarge the dialog's font for a
// program that declares no DPI awareness; its layout grows with it.
TEST(DisplayUi, AtHigherDpiEveryCaptionFitsAndTheSizeRuleScales)
{
    const auto expectScaledAt = [](int nDpi) {
        SCOPED_TRACE(std::to_string(nDpi) + " DPI");
        const ScreenDpi dpi(nDpi);
        UiHarness ui;
        ASSERT_TRUE(ui.Started());
        const std::pair<int, const char*> kCaptions[] = {{IDC_BUTTON_START, "Start Check Routine"},
                                                         {IDC_BUTTON_DETAILS, "Details >>"},
                                                         {IDC_BUTTON_DETAILS, "<< Simple"},
                                                         {IDC_BUTTON_SAVE, "Save Informations"},
                                                         {IDCANCEL, "Exit"}};
        for (const auto& caption : kCaptions)
        {
            RECT rcButton = {};
            ::GetClientRect(ui.Control(caption.first), &rcButton);
            const SIZE extent = CaptionExtent(caption.second, nDpi);
            EXPECT_TRUE(extent.cx <= rcButton.right && extent.cy <= rcButton.bottom)
                << "\"" << caption.second << "\" needs " << extent.cx << " x " << extent.cy << " in a button of "
                << rcButton.right << " x " << rcButton.bottom;
        }
        // A layout that does not scale fails here rather than in every step
        // of the size rule.
        RECT rcClient = {};
        ::GetClientRect(ui.Dialog(), &rcClient);
        ASSERT_EQ(rcClient.right, AtDpi(500, nDpi)) << "the client width";
        ExpectSizeRule(
            ui.Dialog(),
            [&](const std::function<bool()>& pred, DWORD dwTimeoutMs) { return ui.WaitUntil(pred, dwTimeoutMs); },
            nDpi);
    };
    expectScaledAt(120);
    expectScaledAt(144);
}

// A high-contrast theme makes the system's window colour black and its text
// white; the report's own colours, black among them, stay readable.
TEST(DisplayUi, TheReportReadsAsWellInAHighContrastTheme)
{
    // The demo installation: many detail lines, all black.
    InstallationSandbox sandbox;
    sandbox.PutDemoInstallation();
    SetEnv("USBSIM_SCENARIO", "");
    const INT kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF kSaved[] = {::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)};
    // The share of text in the report's first lines, at those window colours,
    // once a detailed run has ended and the screen holds still.
    const auto reportAfterADetailedRun = [&](COLORREF crWindow, COLORREF crWindowText) {
        const COLORREF colors[] = {crWindow, crWindowText};
        EXPECT_TRUE(::SetSysColors(2, kElements, colors));
        UiHarness ui;
        EXPECT_TRUE(ui.Started());
        // Above the program's other windows.
        ::SetWindowPos(ui.Dialog(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ui.Click(IDC_BUTTON_DETAILS);
        EXPECT_TRUE(ui.WaitUntil([&] { return ui.RunEnded(); })) << ui.ReportText();
        ::SendMessageA(ui.Control(IDC_RICHEDIT_LOG), WM_VSCROLL, SB_TOP, 0);
        std::vector<DWORD> pixels;
        DWORD dwChanged = 0;
        EXPECT_TRUE(ui.WaitUntil([&] {
            std::vector<DWORD> now = ClientPixels(ui.Control(IDC_RICHEDIT_LOG));
            if (now.empty() || now != pixels)
            {
                pixels.swap(now);
                dwChanged = ::GetTickCount();
            }
            return !pixels.empty() && ::GetTickCount() - dwChanged >= 300;
        })) << "the report did not hold still for 300 ms";
        return pixels.empty() ? 0.0 : ShareOfInk(pixels);
    };
    const double normal = reportAfterADetailedRun(RGB(255, 255, 255), RGB(0, 0, 0));
    const double highContrast = reportAfterADetailedRun(RGB(0, 0, 0), RGB(255, 255, 255));
    ::SetSysColors(2, kElements, kSaved);
    std::printf("share of text pixels: %.4f at the normal colours, %.4f in high contrast\n", normal, highContrast);
    EXPECT_GT(normal, 0.01) << "no report on the screen";
    EXPECT_NEAR(highContrast, normal, normal / 10) << "lines of the report vanish in high contrast";
}
