/* Planted beside the program under the name of a library that it loads:
   loaded, it leaves an empty file of its own path with ".loaded" added. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    char szPath[MAX_PATH + 8];
    const DWORD nLength = GetModuleFileNameA(hInstance, szPath, MAX_PATH);
    (void)pReserved;
    if (dwReason == DLL_PROCESS_ATTACH && nLength > 0 && nLength < MAX_PATH)
    {
        HANDLE hFile;
        lstrcatA(szPath, ".loaded");
        hFile = CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
    return TRUE;
}
