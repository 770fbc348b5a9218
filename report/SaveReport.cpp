// Saving the report: the control streams its content as RTF into the file the
// user chose, chunk by chunk, through StreamOutCallback.
#include "report/SaveReport.h"

#include "framework/FileDialog.h"
#include "framework/SystemCalls.h"
#include "report/StreamCookie.h"

#include <shlobj.h>

namespace
{
const char kSaveFilter[] = "Text Files (*.rtf)|*.rtf|All Files (*.*)|*.*||";
const DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_NONETWORKBUTTON;
} // namespace

void SaveReportAsChosen(CRichEditCtrl& richLog)
{
    CFileDialog dialog(FALSE, "rtf", nullptr, kSaveFlags, kSaveFilter);
    // The user's Documents folder rather than wherever the program was started.
    WCHAR szDocuments[MAX_PATH];
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDocuments)))
        dialog.m_ofn.lpstrInitialDir = szDocuments;
    if (dialog.DoModal() != IDOK)
        return;

    // A failed save shows nothing.
    const std::wstring path = dialog.GetPathName();
    SaveReportAsRtf(richLog, path.c_str());
}

DWORD SaveReportAsRtf(CRichEditCtrl& richLog, LPCWSTR pszPath)
{
    // A null cookie makes the callback refuse the first chunk: nothing is written.
    StreamCookie* pCookie = CreateStreamCookie(pszPath);
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, StreamOutCallback};
    richLog.StreamOut(SF_RTF, es);
    ::GlobalFree(pCookie);
    return es.dwError;
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

    // The first chunk replaces whatever the file held; later chunks are appended.
    const DWORD dwDisposition = pCookie->dwOffset == 0 ? CREATE_ALWAYS : OPEN_EXISTING;
    const HANDLE hFile = g_SystemCalls.CreateFileW(pCookie->pszFile, GENERIC_WRITE, 0, nullptr, dwDisposition,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        *pcb = 0;
        return LastErrorOr(ERROR_GEN_FAILURE);
    }

    DWORD dwError = ERROR_SUCCESS;
    DWORD dwWritten = 0;
    if (g_SystemCalls.SetFilePointer(hFile, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER)
        dwError = LastErrorOr(ERROR_GEN_FAILURE);
    else if (!g_SystemCalls.WriteFile(hFile, pbBuffer, static_cast<DWORD>(cb), &dwWritten, nullptr))
        dwError = LastErrorOr(ERROR_GEN_FAILURE);
    ::CloseHandle(hFile);

    pCookie->dwOffset += dwWritten;
    *pcb = static_cast<LONG>(dwWritten);
    return dwError;
}
