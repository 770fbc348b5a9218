/* Built only for the import check's own test: it imports functions that
   Windows XP SP3 lacks, one hidden by the headers set to XP, two that they
   declare all the same and one of the C runtime's, beside two that XP SP3 has
   although the headers say otherwise or say nothing. Linked for a later
   subsystem and without the Terminal Server aware flag. */
#include <windows.h>
#include <stddef.h>

/* Imported from msvcrt.dll itself, not the runtime's own replacement. */
__declspec(dllimport) int __cdecl strcpy_s(char *pszTarget, size_t cchTarget, const char *pszSource);

int main(void)
{
    PVOID pRedirection = NULL;
    BOOL bWow64 = FALSE;
    char szCopy[4];
    IsWow64Process(GetCurrentProcess(), &bWow64);
    SetDllDirectoryA(NULL);
    Wow64DisableWow64FsRedirection(&pRedirection);
    strcpy_s(szCopy, sizeof(szCopy), "xp");
    return (int)((GetTickCount64() + GetThreadId(GetCurrentThread())) & 1);
}
