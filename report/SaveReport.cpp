// Saving the report: the control streams its content as RTF into the file the
// user chose (report/ReportFile), chunk by chunk, through StreamOutCallback.
#include "report/SaveReport.h"

#include "framework/FileDialog.h"
#include "framework/SystemCalls.h"
#include "report/ReportFile.h"
#include "report/ReportWriter.h"
#include "report/StreamCookie.h"

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
} // namespace

void SaveReportAsChosen(CRichEditCtrl& richLog, HWND hwndOwner)
{
    CFileDialog dialog(FALSE, "rtf", nullptr, kSaveFlags, kSaveFilter);
    // The user's Documents folder rather than wherever the program was started.
    WCHAR szDocuments[MAX_PATH];
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDocuments)))
        dialog.m_ofn.lpstrInitialDir = szDocuments;
    if (dialog.DoModal() != IDOK)
        return;

    const std::wstring path = dialog.GetPathName();
    const DWORD dwError = SaveReportAsRtf(richLog, path.c_str());
    if (dwError != ERROR_SUCCESS)
        ShowSaveFailure(hwndOwner, path, dwError);
}

DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb)
{
    StreamCookie* pCookie = reinterpret_cast<StreamCookie*>(dwCookie);
    if (pCookie == nullptr || pbBuffer == nullptr || cb <= 0)
    {
        *pcb = 0;
        return ERROR_INVALID_PARAMETER;
    }
    if (!pCookie->bFile)
    {
        *pcb = 0;
        return ERROR_SUCCESS;
    }

    DWORD dwError = ERROR_SUCCESS;
    DWORD dwWritten = 0;
    if (!g_SystemCalls.WriteFile(pCookie->hFile, pbBuffer, static_cast<DWORD>(cb), &dwWritten, nullptr))
        dwError = LastErrorOr(ERROR_GEN_FAILURE);
    // A short write without an error (a full disk on some file systems) must
    // not pass as a whole chunk.
    else if (dwWritten != static_cast<DWORD>(cb))
        dwError = ERROR_DISK_FULL;
    pCookie->dwOffset += dwWritten;
    *pcb = static_cast<LONG>(dwWritten);
    return dwError;
}
