// The check dialog's look (DialogLayout.cpp lays it out): the screen's DPI,
// by which its layout scales, and by which the report command's window makes
// the dialog's font.
#pragma once

// The program declares no DPI awareness: where Windows scales a window as a
// whole (Vista to 8 from 150 %, 8.1 and later at every size) this is 96; on
// XP and at 125 % on Vista to 8 it is the real figure, and Windows enlarges
// the dialog's font.
int ScreenDpi();
