// "Save Informations": the save dialog, and the warning box of a save that
// failed.
#pragma once

#include "framework/RichEditCtrl.h"

// Asks for a file with the save dialog, opened in the user's Documents
// folder with a name of the program, the computer and the date, and saves the report there, whole or not at all. A save that fails
// says so in a warning box owned by hwndOwner, naming the file and the
// system's reason, and so does a save dialog that fails, with its own; a
// cancel shows nothing.
void SaveReportAsChosen(CRichEditCtrl& richLog, HWND hwndOwner);
