// Saving the report as RTF.
#pragma once

#include "framework/RichEditCtrl.h"

// Asks for a file with the save dialog, opened in the user's Documents
// folder, and saves the report there; a cancel or a failed save shows nothing.
void SaveReportAsChosen(CRichEditCtrl& richLog);

// EM_STREAMOUT's callback: appends each chunk to the cookie's file, creating
// (and so emptying) it on the first chunk; the file is closed after every chunk.
DWORD CALLBACK StreamOutCallback(DWORD_PTR dwCookie, LPBYTE pbBuffer, LONG cb, LONG* pcb);

// Streams the whole report as RTF into the file, chunk by chunk, through
// StreamOutCallback; gives the stream's error, 0 when every chunk was written.
// "Save Informations" and the report written without the dialog share it.
DWORD SaveReportAsRtf(CRichEditCtrl& richLog, LPCWSTR pszPath);
