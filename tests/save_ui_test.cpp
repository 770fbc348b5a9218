// Saving the report through the real executable and the real save dialog:
// a saved run, cancel, the overwrite question, and a save while a run is in
// progress (with the simulated driver in the system directory).
#include "device_fixture.h"
#include "registry_fixture.h"
#include "res/resource.h"
#include "support/ExpectedReport.h"
#include "support/Fixtures.h"
#include "support/RtfText.h"
#include "support/SaveDialog.h"
#include "support/UiHarness.h"

#include <gtest/gtest.h>

namespace
{
const std::vector<std::string> kFilters = {"Text Files (*.rtf)", "All Files (*.*)"};

SaveDialogSeen ClickSave(UiHarness& ui, const SaveDialogScript& script)
{
    return SaveFromProduct(ui.ProcessId(), ui.Dialog(), script);
}

// Start, Details and Save: 1 for enabled, 0 for disabled.
std::string ButtonsOf(const UiHarness& ui)
{
    return std::to_string(ui.IsEnabled(IDC_BUTTON_START)) + std::to_string(ui.IsEnabled(IDC_BUTTON_DETAILS)) +
           std::to_string(ui.IsEnabled(IDC_BUTTON_SAVE));
}
} // namespace

TEST(SaveUi, SavesTheReportOfARunUnderTheTypedNameWithTheRtfExtension)
{
    const ScratchFolder scratch("ui-saved");
    const std::string& folder = scratch.Path();
    UiHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
    const std::string report = ui.ReportText();
    ASSERT_FALSE(report.empty());
    const std::string buttons = ButtonsOf(ui);
    ASSERT_EQ(buttons, "111");

    SaveDialogScript script;
    script.fileName = folder + "\\report of the run";
    const SaveDialogSeen seen = ClickSave(ui, script);
    ASSERT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.hwndOwner, ui.Dialog()) << "the save dialog is not owned by the check dialog";
    EXPECT_EQ(seen.filterEntries, kFilters) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.nFilterSelected, 0) << DescribeSaveDialog(seen);
    EXPECT_EQ(seen.initialFileName, "") << DescribeSaveDialog(seen);
    EXPECT_FALSE(seen.bReadOnlyBoxVisible) << DescribeSaveDialog(seen);
    EXPECT_FALSE(seen.bOverwriteAsked) << DescribeSaveDialog(seen);

    const std::vector<std::string> files = FilesIn(folder);
    ASSERT_EQ(files, std::vector<std::string>{"report of the run.rtf"}) << "files: " << Joined(files);
    const std::string saved = ReadFileBytes(folder + "\\report of the run.rtf");
    EXPECT_EQ(saved.compare(0, 5, "{\\rtf"), 0) << "not RTF: " << saved.substr(0, 40);
    EXPECT_EQ(RtfToPlainText(saved), report);

    EXPECT_EQ(ui.ReportText(), report) << "the save changed the report";
    EXPECT_EQ(ButtonsOf(ui), buttons) << "Start, Details and Save";
}

TEST(SaveUi, CancelCreatesNothing)
{
    const ScratchFolder scratch("ui-cancel");
    const std::string& folder = scratch.Path();
    UiHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
    const std::string report = ui.ReportText();

    SaveDialogScript script;
    script.fileName = folder + "\\cancelled";
    script.bCancel = true;
    const SaveDialogSeen seen = ClickSave(ui, script);
    EXPECT_TRUE(seen.bClosed && seen.problem.empty()) << DescribeSaveDialog(seen);
    EXPECT_TRUE(FilesIn(folder).empty()) << "files: " << Joined(FilesIn(folder));
    EXPECT_EQ(ui.ReportText(), report);
    EXPECT_TRUE(ui.IsEnabled(IDC_BUTTON_SAVE));
}

TEST(SaveUi, OverwriteQuestionNoKeepsTheFileYesReplacesIt)
{
    const ScratchFolder scratch("ui-overwrite");
    const std::string& folder = scratch.Path();
    UiHarness ui;
    ASSERT_TRUE(ui.Started());
    ASSERT_TRUE(ui.StartAndWaitForEnd()) << ui.ReportText();
    const std::string report = ui.ReportText();
    const std::string path = folder + "\\existing.rtf";
    const std::string oldContent = std::string(200000, 'X') + "END OF THE OLD FILE";
    ASSERT_TRUE(WriteFileBytes(path, oldContent));

    SaveDialogScript script;
    script.fileName = folder + "\\existing";
    script.nOverwriteAnswer = IDNO;
    const SaveDialogSeen keep = ClickSave(ui, script);
    EXPECT_TRUE(keep.bOverwriteAsked) << DescribeSaveDialog(keep);
    EXPECT_TRUE(keep.bClosed && keep.problem.empty()) << DescribeSaveDialog(keep);
    EXPECT_TRUE(ReadFileBytes(path) == oldContent) << "answering No changed the file";

    script.nOverwriteAnswer = IDYES;
    const SaveDialogSeen replace = ClickSave(ui, script);
    EXPECT_TRUE(replace.bOverwriteAsked) << DescribeSaveDialog(replace);
    EXPECT_TRUE(replace.bClosed && replace.problem.empty()) << DescribeSaveDialog(replace);
    const std::string saved = ReadFileBytes(path);
    EXPECT_EQ(saved.compare(0, 5, "{\\rtf"), 0) << "not RTF: " << saved.substr(0, 40);
    EXPECT_EQ(saved.find("END OF THE OLD FILE"), std::string::npos) << "the old tail is still there";
    EXPECT_EQ(RtfToPlainText(saved), report);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"existing.rtf"}) << Joined(FilesIn(folder));

    // Saving again gives the same bytes.
    const SaveDialogSeen again = ClickSave(ui, script);
    EXPECT_TRUE(again.bClosed && again.problem.empty()) << DescribeSaveDialog(again);
    EXPECT_TRUE(ReadFileBytes(path) == saved) << "the second save gave other bytes";
}

namespace
{
// Three instruments: the first answers at once, the other two are held at
// their open until their holds are released.
std::string FirstThenHeld(const DeviceHold& second, const DeviceHold& third)
{
    return "[driver]\ncount=3\n[device0]\ndescription=Instrument 0\n"
           "[device1]\ndescription=Held instrument 1\nhold_event=" +
           second.Name() + "\n[device2]\ndescription=Held instrument 2\nhold_event=" + third.Name() + "\n";
}
} // namespace

TEST(SaveUi, SaveDuringARunHoldsTheReportSoFarAndTheRunGoesOn)
{
    const ScratchFolder scratch("ui-during-run");
    const std::string& folder = scratch.Path();
    DeviceHold second;
    DeviceHold third;
    InstallationSandbox sandbox;
    sandbox.PutCopy(SystemFilePath(kDriverLibrary), SimulatorLibrary());
    ScenarioFile scenario(FirstThenHeld(second, third));
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
    const SaveDialogSeen seen = ClickSave(ui, script);
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
