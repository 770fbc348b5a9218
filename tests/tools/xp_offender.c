/* Built only for the import check's own test: it imports two functions that
   Windows XP SP3 lacks, one hidden by the headers set to XP and one that they
   declare all the same, beside two that XP SP3 has although the headers say
   otherwise or say nothing. */
#include <windows.h>

int main(void)
{
    PVOID pRedirection = NULL;
    BOOL bWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &bWow64);
    SetDllDirectoryA(NULL);
    Wow64DisableWow64FsRedirection(&pRedirection);
    return (int)(GetTickCount64() & 1);
}
