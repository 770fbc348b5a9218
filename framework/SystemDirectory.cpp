#include "SystemDirectory.h"

#include "SystemCalls.h"

namespace
{
const UINT kDirectoryBufferSize = 256;

DWORD QueryDirectory(decltype(&::GetSystemDirectoryA) pfnQuery, CString& directory)
{
    char szDirectory[kDirectoryBufferSize];
    const UINT nLength = pfnQuery(szDirectory, kDirectoryBufferSize);
    // An empty path must never pass for the directory and send the searches
    // to the current drive's root.
    if (nLength == 0)
        return LastErrorOr(ERROR_PATH_NOT_FOUND);
    // A longer path than the buffer holds is a failure too, not a cut path.
    if (nLength >= kDirectoryBufferSize)
        return ERROR_INSUFFICIENT_BUFFER;
    directory = CString(szDirectory, static_cast<int>(nLength));
    return ERROR_SUCCESS;
}
} // namespace

DWORD QuerySystemDirectory(CString& directory)
{
    return QueryDirectory(g_SystemCalls.GetSystemDirectoryA, directory);
}

DWORD QueryWindowsDirectory(CString& directory)
{
    return QueryDirectory(g_SystemCalls.GetWindowsDirectoryA, directory);
}

DWORD QueryReachedSystemDirectory(CString& directory)
{
    BOOL bWow64 = FALSE;
    if (QueryWow64(bWow64) == ERROR_SUCCESS && bWow64 && g_SystemCalls.GetSystemWow64DirectoryA != nullptr &&
        QueryDirectory(g_SystemCalls.GetSystemWow64DirectoryA, directory) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    // Where the system cannot name SysWOW64, the searches are still redirected there.
    return QuerySystemDirectory(directory);
}

DWORD QueryWow64(BOOL& bWow64)
{
    bWow64 = FALSE;
    if (g_SystemCalls.IsWow64Process == nullptr || g_SystemCalls.IsWow64Process(::GetCurrentProcess(), &bWow64))
        return ERROR_SUCCESS;
    bWow64 = FALSE;
    return LastErrorOr(ERROR_CALL_NOT_IMPLEMENTED);
}

HMODULE LoadSystemLibrary(LPCSTR pszFileName)
{
    CString path;
    const DWORD dwError = QuerySystemDirectory(path);
    if (dwError != ERROR_SUCCESS)
    {
        ::SetLastError(dwError);
        return nullptr;
    }
    path += '\\';
    path += pszFileName;
    // The libraries it imports are then looked for in its own folder first,
    // not in the program's: riched32 takes riched20 from there.
    return g_SystemCalls.LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictLibrarySearch()
{
    if (g_SystemCalls.SetDefaultDllDirectories != nullptr)
        g_SystemCalls.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Also where the above holds: a search that does not follow the default
    // directories, as LOAD_WITH_ALTERED_SEARCH_PATH's for the imports of the
    // rich edit library, then still skips the current directory.
    CString systemDirectory;
    if (QuerySystemDirectory(systemDirectory) == ERROR_SUCCESS)
        ::SetDllDirectoryA(systemDirectory);
}
