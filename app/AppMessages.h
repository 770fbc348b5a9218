// The program's own window messages and timers: one number each, whichever
// window receives them.
#pragma once

#include <windows.h>

enum AppMessage : UINT
{
    // Sent by the run's thread once its run has ended: wParam is the RunOutcome.
    WM_APP_RUN_ENDED = WM_APP + 1,
    // A report line written on the run's thread: wParam is the kind, lParam
    // the text.
    WM_APP_WRITE_LOG,
};

enum AppTimer : UINT_PTR
{
    // The check dialog's report repaints by it while a run writes.
    TIMER_REPAINT = 1,
    // Looks at the run's driver call while the run's thread lives.
    TIMER_RUN_WATCH,
};
