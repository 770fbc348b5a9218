#include "ThreadWait.h"

void WaitForThreadServingSentMessages(HANDLE hThread, DWORD dwIntervalMs, const std::function<BOOL()>& bGiveUp)
{
    for (;;)
    {
        const DWORD dwWait = ::MsgWaitForMultipleObjects(1, &hThread, FALSE, dwIntervalMs, QS_SENDMESSAGE);
        if (dwWait == WAIT_OBJECT_0 + 1)
        {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        else if (dwWait != WAIT_TIMEOUT || bGiveUp())
        {
            return;
        }
    }
}
