#include "app/SaveReport.h"

#include "framework/FileDialog.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"

#include <shlobj.h>

#include <string>

namespace
{
const char kSaveFilter[] = "Text Files (*.rtf)|*.rtf|All Files (*.*)|*.*||";
const DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_NONETWORKBUTTON;
const WCHAR kSaveCaption[] = L"Save Informations";

// The user believes a report saved unless told otherwise: the file as the
// system names it, and the reason as the report's error entries give one.
void ShowSaveFailure(HWND hwndOwner, const std::wstring& path, DWORD dwError)
{
    CString entry;
    FormatErrorEntry(dwError, entry);
    const std::wstring text = L"The report could not be saved as\n" + path + L"\n\n" + WideFromAnsi(entry);
    ::MessageBoxW(hwndOwner, text.c_str(), kSaveCaption, MB_OK | MB_ICONWARNING);
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
        return;

    const std::wstring path = dialog.GetPathName();
    const DWORD dwError = SaveReportAsRtf(richLog, path.c_str());
    if (dwError != ERROR_SUCCESS)
        ShowSaveFailure(hwndOwner, path, dwError);
}
