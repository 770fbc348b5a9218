// The real UsbInstallationTest.exe at the screen's DPI, a setting of the
// whole prefix, read by a program as it starts: this test runs in a prefix of
// its own (wineprefix-display), sets it before it starts the program and puts
// it back afterwards.
#include "res/resource.h"
#include "support/Fixtures.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

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
