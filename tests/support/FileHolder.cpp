// file_holder PATH READY_EVENT RELEASE_EVENT: holds PATH open for writing
// without sharing, as another program might, from READY_EVENT until
// RELEASE_EVENT (or a minute at most).
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const HANDLE hReady = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    const HANDLE hRelease = ::OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    const HANDLE hFile =
        ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    int nExit = 1;
    if (hReady != nullptr && hRelease != nullptr && hFile != INVALID_HANDLE_VALUE)
    {
        ::SetEvent(hReady);
        ::WaitForSingleObject(hRelease, 60000);
        nExit = 0;
    }
    if (hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hFile);
    if (hRelease != nullptr)
        ::CloseHandle(hRelease);
    if (hReady != nullptr)
        ::CloseHandle(hReady);
    return nExit;
}
