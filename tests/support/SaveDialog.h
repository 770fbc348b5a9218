// Drives the common save dialog and its overwrite question as a user would:
// from another thread of the process that shows them (in-process tests) or
// from the test process (the real executable).
#pragma once

#include "support/Fixtures.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct SaveDialogScript
{
    // Typed into the file-name field, when not empty; UTF-8.
    std::string fileName;
    // Cancel instead of Save.
    bool bCancel = false;
    // The button that answers the overwrite question (IDYES or IDNO), or 0 when
    // none is expected: a question that comes anyway is then answered No and
    // reported.
    int nOverwriteAnswer = 0;
    // Called once the dialog is up, before the name is typed.
    std::function<void()> whileOpen;
};

// What the driver saw of the dialog, for the test to assert.
struct SaveDialogSeen
{
    bool bFound = false;
    HWND hwndOwner = nullptr;
    std::vector<std::string> filterEntries;
    int nFilterSelected = -1;
    std::string initialFileName;
    bool bReadOnlyBoxVisible = false;
    bool bNameTyped = false;
    bool bOverwriteAsked = false;
    std::string overwriteText;
    bool bClosed = false;
    // What went wrong, for the failure message; empty when all went to plan.
    std::string problem;
};

// Clicks "Save Informations" of the product's dialog in another process,
// follows the script, and returns once the product's window thread is back in
// its message loop, so that the save has ended.
SaveDialogSeen SaveFromProduct(DWORD dwProcessId, HWND hwndDialog, const SaveDialogScript& script);

// Runs DriveSaveDialog on a thread of its own, for a dialog that this
// process's test thread shows modally; then, until Result(), it closes any
// further dialog of the process (a message box) and keeps its caption, text,
// icon and whether hwndExclude owns it.
class SaveDialogDriverThread : NonCopyable
{
public:
    SaveDialogDriverThread(HWND hwndExclude, SaveDialogScript script);
    ~SaveDialogDriverThread();

    // Waits for the driver to finish and gives what it saw.
    const SaveDialogSeen& Result();
    const std::vector<std::string>& WindowsShownAfterwards();

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);

    HWND m_hwndExclude;
    SaveDialogScript m_script;
    SaveDialogSeen m_seen;
    std::vector<std::string> m_shownAfterwards;
    volatile LONG m_nStop = 0;
    HANDLE m_hThread;
};

std::string DescribeSaveDialog(const SaveDialogSeen& seen);

// The text of the box that tells why a save failed: the file, then the code
// as the report's error entries give it, with the system's text.
std::string SaveFailureMessage(const std::string& path, DWORD dwCode);

// Expects a dialog that closed as the script said and was the report's save
// dialog: the RTF filter first and chosen, the name of the 32-bit program,
// the computer and the date proposed, no read-only box.
void ExpectReportSaveDialog(const SaveDialogSeen& seen);
