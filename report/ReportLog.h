// The report control's lines: each kind's prefix, colour and weight, and
// whether the simple view shows it.
#pragma once

#include "framework/RichEditCtrl.h"

// Appends the line at the end of the report, styled by its kind; a line the
// view leaves out (detail lines in the simple view) is not inserted, but the
// caret still moves to the end. Window thread only.
void AppendReportLine(CRichEditCtrl& richLog, LPCSTR pszText, UINT nKind, BOOL bDetailed);
