// Where a saved report goes: a temporary file in the target's folder takes
// the whole RTF first and replaces the target only when all of it was written,
// so that a failed save leaves the earlier file as it was. "Save Informations"
// and the report written without the dialog both save through it.
#pragma once

#include "framework/RichEditCtrl.h"

#include <string>

class CReportFile
{
public:
    CReportFile() = default;
    CReportFile(const CReportFile&) = delete;
    CReportFile& operator=(const CReportFile&) = delete;
    // A temporary file still there goes: nothing is left behind a failure.
    ~CReportFile();

    // Takes the target's full path and creates the temporary file in its
    // folder. A missing folder, one the user may not create and delete files
    // in, a path that names a folder or is too long fail here with the
    // system's reason; a folder where no free temporary name is left with
    // ERROR_CANNOT_MAKE.
    DWORD Create(LPCWSTR pszPath);
    // A target that exists must be one the report may replace: a folder, a
    // read-only file or one another program holds open fails with the
    // system's reason, one that is neither empty nor RTF with ERROR_FILE_EXISTS.
    DWORD CheckReplaceable() const;
    // The control's whole content, as RTF, into the temporary file, flushed
    // to the disk and closed.
    DWORD Write(CRichEditCtrl& richLog);
    // The temporary file takes the target's place. bReportsOnly: a target
    // that is no report (it appeared since CheckReplaceable) is kept and
    // refused with ERROR_FILE_EXISTS.
    DWORD Replace(BOOL bReportsOnly);
    // Deletes the temporary file now; the target stays as it is.
    void Discard();

private:
    std::wstring m_path;
    std::wstring m_tempPath;
    HANDLE m_hTemp = INVALID_HANDLE_VALUE;
};

// Saves the control's content as RTF into the file, whole or not at all;
// gives 0 or the system's reason. The earlier file stays as it was on failure.
DWORD SaveReportAsRtf(CRichEditCtrl& richLog, LPCWSTR pszPath);
