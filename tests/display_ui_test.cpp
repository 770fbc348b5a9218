// The real UsbInstallationTest.exe at the screen's DPI and in a high-contrast
// theme. Both are settings of the whole prefix, read by a program as it
// starts: this test runs in a prefix of its own (wineprefix-display), sets
// them before it starts the program and puts them back afterwards.
#include "registry_fixture.h"
#include "res/resource.h"
#include "support/Fixtures.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace
{
// The screen's DPI for the programs started while it lives ("LogPixels",
// which Wine reads as a program starts); then the prefix's default, 96.
class ScreenDpi : NonCopyable
{
public:
    explicit ScreenDpi(DWORD dwDpi)
    {
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &m_hKey, nullptr);
        EXPECT_EQ(::RegSetValueExA(m_hKey, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwDpi), sizeof(dwDpi)),
                  ERROR_SUCCESS);
    }
    ~ScreenDpi()
    {
        ::RegDeleteValueA(m_hKey, kValue);
        ::RegCloseKey(m_hKey);
    }

private:
    static constexpr const char* kKey = "Control Panel\\Desktop";
    static constexpr const char* kValue = "LogPixels";
    HKEY m_hKey = nullptr;
};

// The system's window and window-text colours for the programs started
// while it lives.
class WindowColors : NonCopyable
{
public:
    WindowColors(COLORREF crWindow, COLORREF crWindowText)
        : m_saved{::GetSysColor(COLOR_WINDOW), ::GetSysColor(COLOR_WINDOWTEXT)}
    {
        const COLORREF colors[] = {crWindow, crWindowText};
        EXPECT_TRUE(::SetSysColors(2, kElements, colors));
    }
    ~WindowColors() { ::SetSysColors(2, kElements, m_saved); }

private:
    static constexpr INT kElements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF m_saved[2];
};

// The caption's size in the dialog's font, as the dialog manager makes it
// from the template (8 point "MS Sans Serif") at that DPI.
SIZE CaptionExtent(const std::string& caption, int nDpi)
{
    const HFONT hFont = ::CreateFontA(-::MulDiv(8, nDpi, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                                      DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    const HDC hdc = ::GetDC(nullptr);
    const HGDIOBJ hOld = ::SelectObject(hdc, hFont);
    SIZE size = {};
    ::GetTextExtentPoint32A(hdc, caption.c_str(), static_cast<int>(caption.size()), &size);
    ::SelectObject(hdc, hOld);
    ::ReleaseDC(nullptr, hdc);
    ::DeleteObject(hFont);
    return size;
}

// The pixels of the window's client area as the screen shows them.
std::vector<COLORREF> ClientPixels(HWND hwnd)
{
    RECT rc = {};
    ::GetClientRect(hwnd, &rc);
    POINT pt = {0, 0};
    ::ClientToScreen(hwnd, &pt);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = rc.right;
    bmi.bmiHeader.biHeight = -rc.bottom;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* pBits = nullptr;
    const HDC hdcScreen = ::GetDC(nullptr);
    const HDC hdcMemory = ::CreateCompatibleDC(hdcScreen);
    const HBITMAP hBitmap = ::CreateDIBSection(hdcMemory, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    std::vector<COLORREF> pixels;
    if (hBitmap != nullptr)
    {
        const HGDIOBJ hOld = ::SelectObject(hdcMemory, hBitmap);
        ::BitBlt(hdcMemory, 0, 0, rc.right, rc.bottom, hdcScreen, pt.x, pt.y, SRCCOPY);
        ::SelectObject(hdcMemory, hOld);
        const auto* pPixels = static_cast<const DWORD*>(pBits);
        pixels.assign(pPixels, pPixels + rc.right * rc.bottom);
        ::DeleteObject(hBitmap);
    }
    ::DeleteDC(hdcMemory);
    ::ReleaseDC(nullptr, hdcScreen);
    return pixels;
}

// The share of the pixels that differ clearly from the most frequent colour,
// the background.
double ShareOfInk(const std::vector<COLORREF>& pixels)
{
    std::map<DWORD, size_t> counts;
    for (const DWORD dwPixel : pixels)
        ++counts[dwPixel & 0xFFFFFF];
    DWORD dwBackground = 0;
    size_t nMost = 0;
    for (const auto& count : counts)
    {
        if (count.second > nMost)
        {
            nMost = count.second;
            dwBackground = count.first;
        }
    }
    const auto channel = [](DWORD dw, int nShift) { return static_cast<int>((dw >> nShift) & 0xFF); };
    size_t nInk = 0;
    for (const DWORD dwPixel : pixels)
    {
        for (const int nShift : {0, 8, 16})
        {
            if (std::abs(channel(dwPixel, nShift) - channel(dwBackground, nShift)) > 64)
            {
                ++nInk;
                break;
            }
        }
    }
    return pixels.empty() ? 0.0 : static_cast<double>(nInk) / pixels.size();
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
        const struct
        {
            int nID;
            const char* pszCaption;
        } kCaptions[] = {{IDC_BUTTON_START, "Start Check Routine"},
                         {IDC_BUTTON_DETAILS, "Details >>"},
                         {IDC_BUTTON_DETAILS, "<< Simple"},
                         {IDC_BUTTON_SAVE, "Save Informations"},
                         {IDCANCEL, "Exit"}};
        for (const auto& caption : kCaptions)
        {
            RECT rcButton = {};
            ::GetClientRect(ui.Control(caption.nID), &rcButton);
            const SIZE extent = CaptionExtent(caption.pszCaption, nDpi);
            EXPECT_TRUE(extent.cx <= rcButton.right && extent.cy <= rcButton.bottom)
                << "\"" << caption.pszCaption << "\" needs " << extent.cx << " x " << extent.cy << " in a button of "
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
    // The report's first lines once a detailed run has ended and the screen
    // holds still.
    const auto reportAfterADetailedRun = [](COLORREF crWindow, COLORREF crWindowText) {
        const WindowColors colors(crWindow, crWindowText);
        UiHarness ui;
        EXPECT_TRUE(ui.Started());
        // Above the program's other windows.
        ::SetWindowPos(ui.Dialog(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ui.Click(IDC_BUTTON_DETAILS);
        EXPECT_TRUE(ui.WaitUntil([&] { return ui.RunEnded(); })) << ui.ReportText();
        ::SendMessageA(ui.Control(IDC_RICHEDIT_LOG), WM_VSCROLL, SB_TOP, 0);
        std::vector<COLORREF> pixels;
        DWORD dwChanged = ::GetTickCount();
        EXPECT_TRUE(ui.WaitUntil([&] {
            std::vector<COLORREF> now = ClientPixels(ui.Control(IDC_RICHEDIT_LOG));
            if (now.empty() || now != pixels)
            {
                pixels.swap(now);
                dwChanged = ::GetTickCount();
            }
            return !pixels.empty() && ::GetTickCount() - dwChanged >= 300;
        })) << "the report did not hold still for 300 ms";
        return ShareOfInk(pixels);
    };
    const double normal = reportAfterADetailedRun(RGB(255, 255, 255), RGB(0, 0, 0));
    const double highContrast = reportAfterADetailedRun(RGB(0, 0, 0), RGB(255, 255, 255));
    std::printf("share of text pixels: %.4f at the normal colours, %.4f in high contrast\n", normal, highContrast);
    EXPECT_GT(normal, 0.01) << "no report on the screen";
    EXPECT_NEAR(highContrast, normal, normal / 10) << "lines of the report vanish in high contrast";
}
