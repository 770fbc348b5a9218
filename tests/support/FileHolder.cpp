// file_holder PATH READY_EVENT RELEASE_EVENT [viewer]: holds PATH open for
// writing without sharing, as another program might, from READY_EVENT until
// RELEASE_EVENT (or a minute at most). As a viewer it holds PATH for reading
// and lets others read it too.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 && !(argc == 5 && std::strcmp(argv[4], "viewer") == 0))
        return 2;
    const bool bViewer = argc == 5;
    const HANDLE hReady = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    const HANDLE hRelease = ::OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    const HANDLE hFile =
        ::CreateFileA(argv[1], bViewer ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, bViewer ? FILE_SHARE_READ : 0,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
