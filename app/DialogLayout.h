// The check dialog's look (DialogLayout.cpp lays it out): the screen's DPI,
// by which its layout scales, and the report's font, which the report
// command's window has too.
#pragma once

#include <windows.h>

// The program is DPI aware (its manifest says so): this is the screen's DPI
// on every Windows, and the dialog's font has grown with it.
int ScreenDpi();

// The report's font in both windows, 8 point "MS Shell Dlg" at the screen's
// DPI: the RTF that Save and the report command write names it. The caller
// deletes it once the control is gone.
HFONT CreateReportFont();
