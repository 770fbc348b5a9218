#include "app/SaveReport.h"

#include "framework/FileDialog.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"

#include <cderr.h>
#include <shlobj.h>

#include <string>

namespace
{
const char kSaveFilter[] = "Text Files (*.rtf)|*.rtf|All Files (*.*)|*.*||";
// OFN_NOCHANGEDIR: the current directory stays where it was. Moved to the
// chosen folder, it would hold that folder (a USB stick could not be ejected)
// until the program ends.
const DWORD kSaveFlags =
    OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_NONETWORKBUTTON | OFN_NOCHANGEDIR;
const WCHAR kSaveCaption[] = L"Save Informations";

// The user believes a report saved unless told otherwise: what failed, and
// the reason as the report's error entries give one.
void ShowSaveFailure(HWND hwndOwner, const std::wstring& what, const CString& entry)
{
    const std::wstring text = what + L"\n\n" + WideFromAnsi(entry);
    ::MessageBoxW(hwndOwner, text.c_str(), kSaveCaption, MB_OK | MB_ICONWARNING);
}

// The save dialog's own error codes (CDERR_*, FNERR_*) are no system error
// codes: the system has no text for them, or one that means something else
// (12291 is an internet error). The entry shows the code with a text of ours.
CString SaveDialogErrorEntry(DWORD dwError)
{
    CString entry;
    entry.Format("0x%08X (%u)\n\t%s", static_cast<unsigned>(dwError), static_cast<unsigned>(dwError),
                 dwError == FNERR_BUFFERTOOSMALL    ? "The file name is longer than the save dialog takes."
                 : dwError == FNERR_INVALIDFILENAME ? "The file name is not valid."
                                                    : "The save dialog failed.");
    return entry;
}

// "UsbInstallationTest-PC042-2026-12-09.rtf": the reports of several PCs, or
// of both programs, or of several days, keep apart in one folder.
std::wstring SuggestedFileName()
{
    std::wstring name = sizeof(void*) == 8 ? L"UsbInstallationTest64-" : L"UsbInstallationTest-";
    WCHAR szComputer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD cchComputer = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(szComputer, &cchComputer))
        name += std::wstring(szComputer) + L"-";
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    WCHAR szDate[16];
    ::wsprintfW(szDate, L"%04u-%02u-%02u.rtf", now.wYear, now.wMonth, now.wDay);
    return name + szDate;
}
} // namespace

void SaveReportAsChosen(CRichEditCtrl& richLog, HWND hwndOwner)
{
    CFileDialog dialog(FALSE, "rtf", nullptr, kSaveFlags, kSaveFilter);
    // The user's Documents folder rather than wherever the program was started.
    WCHAR szDocuments[MAX_PATH];
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDocuments)))
        dialog.m_ofn.lpstrInitialDir = szDocuments;
    ::lstrcpynW(dialog.m_ofn.lpstrFile, SuggestedFileName().c_str(), static_cast<int>(dialog.m_ofn.nMaxFile));
    if (dialog.DoModal() != IDOK)
    {
        // A dialog that failed (a name too long for it) is no cancel.
        const DWORD dwDialogError = ::CommDlgExtendedError();
        if (dwDialogError != 0)
            ShowSaveFailure(hwndOwner, L"The report could not be saved: the save dialog failed.",
                            SaveDialogErrorEntry(dwDialogError));
        return;
    }

    const std::wstring path = dialog.GetPathName();
    const DWORD dwError = SaveReportAsRtf(richLog, path.c_str());
    if (dwError != ERROR_SUCCESS)
    {
        CString entry;
        FormatErrorEntry(dwError, entry);
        ShowSaveFailure(hwndOwner, L"The report could not be saved as\n" + path, entry);
    }
}
