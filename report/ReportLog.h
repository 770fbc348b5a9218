// The report control's lines: each kind's prefix, colour and weight, and
// whether the simple view shows it.
#pragma once

#include "framework/RichEditCtrl.h"
#include "framework/String.h"

// The text the report shows for a line: the kind's prefix, the text and a
// line end; empty when the view leaves the line out or the kind is none.
CString ReportLineText(LPCSTR pszText, UINT nKind, BOOL bDetailed);

// Appends the line at the end of the report, styled by its kind; a line the
// view leaves out (detail lines in the simple view) is not inserted, but the
// caret still moves to the end. Window thread only.
void AppendReportLine(CRichEditCtrl& richLog, LPCSTR pszText, UINT nKind, BOOL bDetailed);
