#include "report/ReportFile.h"

#include "framework/SystemCalls.h"
#include "report/StreamCookie.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace
{
const int kTempFileAttempts = 100;
// A report replaces only an empty file or an RTF file.
const char kRtfSignature[] = "{\\rtf";
// How long a file that another program holds open (a virus scanner, an
// indexer, a synchronised folder) is waited for, and the pause between tries.
const DWORD kHeldFileWaitMs = 2000;
const DWORD kHeldFilePauseMs = 100;
// The longest path Windows takes in the \\?\ form.
const DWORD kLongPathLimit = 32767;

BOOL HasLongPathPrefix(const std::wstring& path)
{
    return path.compare(0, 4, L"\\\\?\\") == 0;
}

// The folder in the \\?\ form, which the file calls take beyond MAX_PATH: the
// temporary name may need a longer path than the target. A path in that form,
// or in the device namespace (\\.\), stays as it is.
std::wstring LongPathForm(const std::wstring& folder)
{
    if (HasLongPathPrefix(folder) || folder.compare(0, 4, L"\\\\.\\") == 0)
        return folder;
    if (folder.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + folder.substr(2);
    return L"\\\\?\\" + folder;
}

// The full path. A path in the \\?\ form is taken as it stands, up to the
// system's limit; any other is refused from MAX_PATH on, as Windows refuses it.
DWORD ResolvePath(LPCWSTR pszPath, std::wstring& fullPath)
{
    if (HasLongPathPrefix(pszPath))
    {
        fullPath = pszPath;
        return fullPath.size() < kLongPathLimit ? ERROR_SUCCESS : ERROR_FILENAME_EXCED_RANGE;
    }
    WCHAR szFull[MAX_PATH];
    const DWORD dwLength = ::GetFullPathNameW(pszPath, MAX_PATH, szFull, nullptr);
    if (dwLength == 0)
        return LastErrorOr(ERROR_INVALID_PARAMETER);
    if (dwLength >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    fullPath = szFull;
    return ERROR_SUCCESS;
}

// Whether another program has the file open: it cannot be opened without sharing.
BOOL IsHeldOpen(const std::wstring& path)
{
    const HANDLE hFile = g_SystemCalls.CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(hFile);
    return FALSE;
}

// ERROR_FILE_EXISTS for an open file that is neither empty nor RTF.
DWORD CheckIsReport(HANDLE hFile)
{
    char signature[sizeof(kRtfSignature) - 1] = {};
    DWORD dwRead = 0;
    if (!g_SystemCalls.ReadFile(hFile, signature, sizeof(signature), &dwRead, nullptr))
        return LastErrorOr(ERROR_READ_FAULT);
    const BOOL bReport =
        dwRead == 0 || (dwRead == sizeof(signature) && std::memcmp(signature, kRtfSignature, sizeof(signature)) == 0);
    return bReport ? ERROR_SUCCESS : ERROR_FILE_EXISTS;
}

// Opens an existing file as asked and tells whether it is a report; a file
// that does not exist is no obstacle.
DWORD CheckExistingIsReport(const std::wstring& path, DWORD dwAccess, DWORD dwShare)
{
    const HANDLE hFile = g_SystemCalls.CreateFileW(path.c_str(), dwAccess, dwShare, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        const DWORD dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        return dwError == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : dwError;
    }
    const DWORD dwError = CheckIsReport(hFile);
    ::CloseHandle(hFile);
    return dwError;
}

// Whether a failure may be another program's hold, gone a moment later.
BOOL MayBeAHold(DWORD dwError)
{
    return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION || dwError == ERROR_ACCESS_DENIED;
}

// Runs the file operation until it succeeds. While it fails as a hold makes
// it fail and another program holds either file, it is tried again with
// short pauses, and after kHeldFileWaitMs given up with
// ERROR_SHARING_VIOLATION; any other failure is the operation's own at once.
// A holder may let go between the failed try and the look for a hold: with
// nothing held, it is tried once more at once, and a second such failure is
// the operation's own.
template <typename Operation>
DWORD RetryWhileHeld(Operation operation, const std::wstring& first, const std::wstring& second)
{
    const DWORD dwStart = ::GetTickCount();
    BOOL bTriedUnheld = FALSE;
    for (;;)
    {
        const DWORD dwError = operation();
        if (dwError == ERROR_SUCCESS || !MayBeAHold(dwError))
            return dwError;
        if (!IsHeldOpen(first) && !IsHeldOpen(second))
        {
            if (bTriedUnheld)
                return dwError;
            bTriedUnheld = TRUE;
            continue;
        }
        bTriedUnheld = FALSE;
        if (::GetTickCount() - dwStart >= kHeldFileWaitMs)
            return ERROR_SHARING_VIOLATION;
        g_SystemCalls.Sleep(kHeldFilePauseMs);
    }
}
} // namespace

CReportFile::~CReportFile()
{
    Discard();
}

DWORD CReportFile::Create(LPCWSTR pszPath)
{
    Discard();
    DWORD dwError = ResolvePath(pszPath, m_path);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    const size_t nName = m_path.find_last_of(L"\\/") + 1;
    const std::wstring folder = m_path.substr(0, nName);
    // A path that ends in a separator names a folder, not a file.
    if (nName == m_path.size())
    {
        const DWORD dwAttributes = ::GetFileAttributesW(LongPathForm(folder).c_str());
        const BOOL bFolder = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return bFolder ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
    }

    // A new file of a name no other file has. Asked for with the right to
    // delete it: in a folder where files can be created but not deleted, the
    // creation fails and leaves nothing, rather than the report failing at
    // its end and leaving the temporary file behind. A folder that is
    // missing or is no folder at all (a device, a pipe) fails here too.
    const std::wstring base = LongPathForm(folder);
    for (int nAttempt = 0; nAttempt < kTempFileAttempts; ++nAttempt)
    {
        WCHAR szName[32];
        ::wsprintfW(szName, L"~report-%lX-%d.tmp", ::GetCurrentProcessId(), nAttempt);
        const std::wstring tempPath = base + szName;
        m_hTemp = g_SystemCalls.CreateFileW(tempPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_hTemp != INVALID_HANDLE_VALUE)
        {
            m_tempPath = tempPath;
            return ERROR_SUCCESS;
        }
        dwError = LastErrorOr(ERROR_ACCESS_DENIED);
        if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS)
            return dwError;
    }
    // Every name taken, by files that killed runs of a process with this ID
    // left behind: not ERROR_FILE_EXISTS, which would read as a FILE that is
    // no report.
    return ERROR_CANNOT_MAKE;
}

DWORD CReportFile::CheckReplaceable() const
{
    // Opened for all a replacement needs, without sharing: not changed.
    return CheckExistingIsReport(m_path, GENERIC_READ | GENERIC_WRITE | DELETE, 0);
}

DWORD CReportFile::Write(CRichEditCtrl& richLog)
{
    if (m_hTemp == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    // A null cookie makes the callback refuse the first chunk: nothing is written.
    StreamCookie* pCookie = CreateStreamCookie(m_hTemp);
    EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(pCookie), 0, StreamOutCallback};
    richLog.StreamOut(SF_RTF, es);
    ::GlobalFree(pCookie);
    // On the disk before it takes the target's place: after a power cut the
    // target must not be a name with nothing written behind it.
    DWORD dwError = es.dwError;
    if (dwError == ERROR_SUCCESS && !g_SystemCalls.FlushFileBuffers(m_hTemp))
        dwError = LastErrorOr(ERROR_WRITE_FAULT);
    ::CloseHandle(m_hTemp);
    m_hTemp = INVALID_HANDLE_VALUE;
    return dwError;
}

DWORD CReportFile::Replace(BOOL bReportsOnly)
{
    if (m_hTemp != INVALID_HANDLE_VALUE || m_tempPath.empty())
        return ERROR_INVALID_HANDLE;
    // A file that is no report and appeared at the target during the run is
    // kept; the look shares the file, so a reader's hold is waited out below.
    const auto move = [this, bReportsOnly]() -> DWORD {
        const DWORD dwError =
            bReportsOnly
                ? CheckExistingIsReport(m_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
                : ERROR_SUCCESS;
        if (dwError != ERROR_SUCCESS)
            return dwError;
        if (g_SystemCalls.MoveFileExW(m_tempPath.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING))
            return ERROR_SUCCESS;
        return LastErrorOr(ERROR_ACCESS_DENIED);
    };
    const DWORD dwError = RetryWhileHeld(move, m_path, m_tempPath);
    if (dwError == ERROR_SUCCESS)
        m_tempPath.clear();
    return dwError;
}

void CReportFile::Discard()
{
    if (m_hTemp != INVALID_HANDLE_VALUE)
    {
        ::CloseHandle(m_hTemp);
        m_hTemp = INVALID_HANDLE_VALUE;
    }
    if (m_tempPath.empty())
        return;
    // A scanner that looks at the new file holds it for a moment.
    const std::wstring tempPath = m_tempPath;
    RetryWhileHeld(
        [&tempPath]() -> DWORD {
            return ::DeleteFileW(tempPath.c_str()) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
        },
        tempPath, tempPath);
    m_tempPath.clear();
}

DWORD SaveReportAsRtf(CRichEditCtrl& richLog, LPCWSTR pszPath)
{
    CReportFile file;
    DWORD dwError = file.Create(pszPath);
    if (dwError == ERROR_SUCCESS)
        dwError = file.Write(richLog);
    if (dwError == ERROR_SUCCESS)
        dwError = file.Replace(FALSE);
    return dwError;
}
