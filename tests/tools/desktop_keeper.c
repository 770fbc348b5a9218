/* Holds a prefix's virtual desktop open for the whole test run. The desktop
 * process ends about a second after its last program, and the next program
 * that needs it starts it again, with that program's output pipe: ctest then
 * counts the rest of the suite as that test's time. Started first, with its
 * output going nowhere, this program is the desktop's first client and stays
 * one until the prefix's server is stopped.
 * Usage: desktop_keeper <ready file>: the file (a path on the current drive, as
 * /work/build/x) is created once the desktop is up. */
#include <windows.h>

int main(int argc, char** argv)
{
    HWND hwnd = CreateWindowExA(0, "STATIC", "desktop keeper", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    MSG msg;
    if (hwnd == NULL)
        return 1;
    if (argc > 1)
    {
        HANDLE hFile = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
