// Saving the report through the real executable and the real save dialog:
// a saved run, cancel, the overwrite question, and a save while a run is in
// progress (with the simulated driver in the system directory).
#include "support/DeviceFixture.h"
#include "support/RegistryFixture.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/HeldFile.h"
#include "support/RtfText.h"
#include "support/SaveDialog.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <thread>

TEST(SaveUi, SaveCancelAndTheOverwriteQuestionAfterARun)
{
    const ScratchFolder scratch("ui-saved");
    const std::string& folder = scratch.Path();
    const std::string existing = folder + "\\existing.rtf";
    const std::string oldContent = std::string(200000, 'X') + "END OF THE OLD FILE";
    ASSERT_TRUE(WriteFileBytes(existing, oldContent));
    UiHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
    const std::string report = ui.ReportText();
    ASSERT_FALSE(report.empty());
    // Start, Details and Save: 1 for enabled, 0 for disabled.
    const auto buttons = [&ui] {
        return std::to_string(ui.IsEnabled(IDC_BUTTON_START)) + std::to_string(ui.IsEnabled(IDC_BUTTON_DETAILS)) +
               std::to_string(ui.IsEnabled(IDC_BUTTON_SAVE));
    };
    ASSERT_EQ(buttons(), "111");

    const DWORD kWholeSave = INFINITE;
    const struct
    {
        const char* pszName;
        const char* pszFile; // typed without extension
        bool bCancel;
        int nOverwriteAnswer;            // 0: no question expected
        const char* pszSaved;            // the file that then holds the report, or none
        bool bBareName = false;          // typed without a folder: saved where the dialog opened
        DWORD dwHeldMs = 0;              // existing.rtf held open by another program that long
        DWORD dwError = 0;               // the reason the warning box gives, or none
        const char* pszFolder = nullptr; // another folder than the scratch folder
    } kRows[] = {
        {"saves the report under the typed name with the rtf extension", "report of the run", false, 0,
         "report of the run.rtf"},
        {"cancel creates nothing", "cancelled", true, 0, nullptr},
        {"overwrite question: No keeps the file", "existing", false, IDNO, nullptr},
        {"overwrite question: Yes replaces it", "existing", false, IDYES, "existing.rtf"},
        {"saving again gives the same bytes", "existing", false, IDYES, "existing.rtf"},
        {"the dialog opens in the user's Documents", "saved-in-documents", false, 0, "saved-in-documents.rtf", true},
        {"held by another program for the whole save: the file stays, a warning says why", "existing", false, IDYES,
         nullptr, false, kWholeSave, ERROR_SHARING_VIOLATION},
        {"held for 300 ms: saved whole after the retry", "existing", false, IDYES, "existing.rtf", false, 300},
        // /sys, where not even root may create a file.
        {"a folder nobody may write to: a warning says why", "report", false, 0, nullptr, false, 0, ERROR_ACCESS_DENIED,
         "Z:\\sys"},
    };
    char szDocuments[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDocuments)));
    std::string previous;
    for (const auto& row : kRows)
    {
        SCOPED_TRACE(row.pszName);
        const std::string existingBefore = ReadFileBytes(existing);
        SaveDialogScript script;
        const std::string savedIn = row.bBareName ? std::string(szDocuments) : folder;
        const std::string typedIn = row.pszFolder != nullptr ? std::string(row.pszFolder) : folder;
        script.fileName = row.bBareName ? std::string(row.pszFile) : typedIn + "\\" + row.pszFile;
        script.bCancel = row.bCancel;
        script.nOverwriteAnswer = row.nOverwriteAnswer;
        std::unique_ptr<HeldFile> pHeld(row.dwHeldMs != 0 ? new HeldFile(existing) : nullptr);
        ASSERT_TRUE(pHeld == nullptr || pHeld->Holding());
        std::thread release;
        if (row.dwHeldMs != kWholeSave && pHeld)
        {
            // Let go while the program waits to replace the file.
            script.whileOpen = [&] {
                release = std::thread([&] {
                    ::Sleep(row.dwHeldMs);
                    pHeld.reset();
                });
            };
        }
        const SaveDialogSeen seen = SaveFromProduct(ui.ProcessId(), ui.Dialog(), script);
        ExpectReportSaveDialog(seen);
        EXPECT_EQ(seen.hwndOwner, ui.Dialog()) << "the save dialog is not owned by the check dialog";
        EXPECT_EQ(seen.bOverwriteAsked, row.nOverwriteAnswer != 0) << DescribeSaveDialog(seen);
        if (row.dwError != 0)
        {
            const MessageBoxSeen box = CloseMessageBox(ui.ProcessId(), ui.Dialog());
            ASSERT_TRUE(box.bFound) << "no warning that the save failed";
            EXPECT_EQ(box.hwndOwner, ui.Dialog()) << "the warning is not owned by the check dialog";
            EXPECT_EQ(box.caption, "Save Informations");
            EXPECT_EQ(box.text, SaveFailureMessage(script.fileName + ".rtf", row.dwError));
        }
        if (release.joinable())
            release.join();
        pHeld.reset();

        std::vector<std::string> files = FilesIn(folder);
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"existing.rtf", "report of the run.rtf"})) << Joined(files);
        if (row.pszSaved != nullptr)
        {
            const std::string saved = ReadFileBytes(savedIn + "\\" + row.pszSaved);
            if (row.bBareName)
                ::DeleteFileA((savedIn + "\\" + row.pszSaved).c_str());
            EXPECT_EQ(saved.compare(0, 5, "{\\rtf"), 0) << "not RTF: " << saved.substr(0, 40);
            EXPECT_EQ(saved.find("END OF THE OLD FILE"), std::string::npos) << "the old tail is still there";
            EXPECT_EQ(RtfToPlainText(saved), report);
            // The same report gives the same bytes, under any name.
            EXPECT_TRUE(previous.empty() || saved == previous) << "a later save gave other bytes";
            previous = saved;
        }
        else
        {
            EXPECT_TRUE(ReadFileBytes(existing) == existingBefore) << "the existing file changed";
        }
        EXPECT_EQ(ui.ReportText(), report) << "the save changed the report";
        EXPECT_EQ(buttons(), "111") << "Start, Details and Save";
    }
}

TEST(SaveUi, SaveDuringARunHoldsTheReportSoFarAndTheRunGoesOn)
{
    const ScratchFolder scratch("ui-during-run");
    const std::string& folder = scratch.Path();
    DeviceHold second;
    DeviceHold third;
    InstallationSandbox sandbox;
    sandbox.PutCopy(SystemFilePath(kDriverLibrary), SimulatorLibrary());
    // Three instruments: the first answers at once, the other two are held at
    // their open until their holds are released.
    ScenarioFile scenario("[driver]\ncount=3\n[device0]\ndescription=Instrument 0\n"
                          "[device1]\ndescription=Held instrument 1\nhold_event=" +
                          second.Name() + "\n[device2]\ndescription=Held instrument 2\nhold_event=" + third.Name() +
                          "\n");
    UiHarness ui;
    const DeviceHold::ReleaseFirst releaseSecond(second);
    const DeviceHold::ReleaseFirst releaseThird(third);
    ASSERT_TRUE(ui.Started());

    // The run undisturbed, for comparison.
    second.Release();
    third.Release();
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
    const std::string undisturbed = ui.ReportText();
    ASSERT_TRUE(Contains(undisturbed, "Held instrument 2")) << undisturbed;

    // The same run, held at the second instrument when Save is clicked; while
    // the save dialog is open it goes on to the third, where it is held again.
    second.Hold();
    third.Hold();
    ui.Click(IDC_BUTTON_START);
    ASSERT_TRUE(ui.WaitUntil([&] { return Contains(ui.ReportText(), "Held instrument 1"); }))
        << "the run did not reach the second instrument: " << ui.ReportText();
    const std::string beforeSave = ui.ReportText();
    SaveDialogScript script;
    script.fileName = folder + "\\during the run";
    bool bWentOn = false;
    script.whileOpen = [&] {
        second.Release();
        bWentOn = ui.WaitUntil([&] { return Contains(ui.ReportText(), "Held instrument 2"); });
    };
    const SaveDialogSeen seen = SaveFromProduct(ui.ProcessId(), ui.Dialog(), script);
    const std::string afterSave = ui.ReportText();
    ASSERT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    EXPECT_TRUE(bWentOn) << "the run did not go on while the save dialog was open: " << afterSave;
    EXPECT_FALSE(ui.RunEnded()) << "the run ended while held";

    const std::string saved = RtfToPlainText(ReadFileBytes(folder + "\\during the run.rtf"));
    EXPECT_EQ(saved.compare(0, beforeSave.size(), beforeSave), 0)
        << "the file lacks what the report held when Save was clicked:\n"
        << saved;
    EXPECT_EQ(afterSave.compare(0, saved.size(), saved), 0) << "the file is not the report as it stood at one moment:\n"
                                                            << saved;
    EXPECT_TRUE(Contains(saved, "Held instrument 2")) << "the file lacks what the run wrote before the save:\n"
                                                      << saved;
    EXPECT_FALSE(Contains(saved, kRule)) << saved;

    third.Release();
    ASSERT_TRUE(ui.WaitUntil([&] { return ui.RunEnded(); })) << ui.ReportText();
    EXPECT_EQ(ui.ReportText(), undisturbed) << "the run went otherwise with a save in its middle";
}
