// Keeps the prefix's desktop in use while the test suite runs. Wine closes a
// desktop, and ends its explorer process, a second after the last program on
// it has ended. A test that opens a window after such a pause starts the
// explorer again, and the explorer keeps that test's output pipe open: ctest
// then counts the explorer's whole life as that test's time, past its timeout.
// Started without arguments, it starts a copy of itself that holds the desktop
// until the Wine server ends, and returns once the copy holds it.
#include <windows.h>

#include <string>

namespace
{
const char kHoldingEvent[] = "usbtest-desktop-holder";

int Hold(HANDLE hHolding)
{
    // A message-only window ties the thread to the desktop and is no target
    // of broadcasts or window searches.
    if (::CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr) == nullptr)
        return 1;
    ::SetEvent(hHolding);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageA(&msg);
    return 0;
}
} // namespace

int main(int argc, char** /*argv*/)
{
    const HANDLE hHolding = ::CreateEventA(nullptr, TRUE, FALSE, kHoldingEvent);
    if (hHolding == nullptr)
        return 1;
    if (argc > 1)
        return Hold(hHolding);

    int nExit = 0;
    if (::WaitForSingleObject(hHolding, 0) != WAIT_OBJECT_0)
    {
        char szModule[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, szModule, MAX_PATH);
        std::string commandLine = std::string("\"") + szModule + "\" hold";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        nExit = 1;
        if (::CreateProcessA(szModule, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process))
        {
            const HANDLE waits[] = {hHolding, process.hProcess};
            if (::WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0)
                nExit = 0;
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    }
    ::CloseHandle(hHolding);
    return nExit;
}
