#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "RecordingPrompts.h"
#include "Simulator.h"
#include "logs/FlightLogsDialog.h"
#include "ui_FlightLogsDialog.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

class FlightLogsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.logs = 2;
        instrument = std::make_unique<sim::Simulator>(options);
        ASSERT_TRUE(instrument->start());
        dialog = std::make_unique<FlightLogsDialog>(prompts);
        dialog->setPortAndMinimumTime(instrument->devicePath(), 0);
        dir = fs::temp_directory_path() / ("vantor-dialog-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        dialog.reset();
        fs::remove_all(dir);
    }
    QListWidget* list() { return dialog->ui().logList; }
    void doubleClick(int row) {
        const QRect r = list()->visualItemRect(list()->item(row));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, r.center());
    }

    RecordingPrompts prompts;
    std::unique_ptr<sim::Simulator> instrument;
    std::unique_ptr<FlightLogsDialog> dialog;
    fs::path dir;
};

TEST_F(FlightLogsDialogTest, OpeningListsTheLogsAndDoubleClickDownloadsOne) {
    dialog->show();
    ASSERT_EQ(list()->count(), 2);
    EXPECT_EQ(dialog->listedCount(), 2);
    EXPECT_FALSE(dialog->ui().binaryCheck->isVisible());
    EXPECT_FALSE(dialog->ui().allButton->isVisible());

    const std::string path = (dir / "chosen.igc").string();
    prompts.fileAnswers.push_back(path);
    doubleClick(1);
    ASSERT_EQ(prompts.fileChoices.size(), 1u);
    const FileChoice& choice = prompts.fileChoices[0];
    EXPECT_EQ(choice.initialName,
              logShortFileName(dialog->directory(), 1, dialog->instrumentSerial(), 0, false));
    EXPECT_EQ(choice.filter, "IGC Flight Log Files (*.igc)|*.igc||");
    EXPECT_EQ(choice.defaultExtension, "igc");
    EXPECT_TRUE(choice.promptOverwrite);
    EXPECT_EQ(choice.owner, dialog.get());

    EXPECT_FALSE(dialog->isEnabled());  // while the worker runs
    dialog->task().waitUntilDone();
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_EQ(dialog->ui().statusText->text(), "Transfer Complete");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Verification");
    EXPECT_NE(prompts.messages[0].text.find("Security OK"), std::string::npos);
    EXPECT_TRUE(fs::exists(path));

    // The saved file checks out from "Verify Files" too.
    prompts.fileAnswers.push_back(path);
    dialog->ui().verifyButton->click();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, prompts.messages[0].text);
    EXPECT_TRUE(prompts.fileChoices.back().mustExist);
    EXPECT_EQ(prompts.fileChoices.back().initialName, "*.igc");
}

TEST_F(FlightLogsDialogTest, TransferWithoutAChoiceOrCancelledDoesNothing) {
    dialog->show();
    dialog->ui().transferButton->click();  // no line chosen
    EXPECT_TRUE(prompts.fileChoices.empty());
    list()->setCurrentRow(0);
    dialog->ui().transferButton->click();  // the save dialog is cancelled
    EXPECT_EQ(prompts.fileChoices.size(), 1u);
    EXPECT_FALSE(dialog->task().running());
    EXPECT_TRUE(fs::is_empty(dir));
}

// Once shown and given the focus, the list has a current row with nothing
// selected; neither Enter nor Transfer may then take that row for a choice.
TEST_F(FlightLogsDialogTest, NothingVisiblySelectedTransfersNothing) {
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    list()->setFocus();
    QApplication::processEvents();
    QTest::qWait(20);
    ASSERT_TRUE(list()->hasFocus());
    ASSERT_EQ(list()->currentRow(), 0);
    ASSERT_TRUE(list()->selectedItems().isEmpty());
    QTest::keyClick(list(), Qt::Key_Return);
    QTest::mouseClick(dialog->ui().transferButton, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(prompts.fileChoices.empty());
    EXPECT_FALSE(dialog->task().running());

    // A line the pilot picked is what Enter transfers (the save is cancelled here).
    QTest::keyClick(list(), Qt::Key_Down);
    ASSERT_EQ(list()->selectedItems().size(), 1);
    QTest::keyClick(list(), Qt::Key_Return);
    ASSERT_EQ(prompts.fileChoices.size(), 1u);
    EXPECT_EQ(prompts.fileChoices[0].initialName,
              logShortFileName(dialog->directory(), 1, dialog->instrumentSerial(), 0, false));
}

// Labels are the instrument's single-byte text: 0xE9 is shown as e acute.
TEST_F(FlightLogsDialogTest, LabelBytesShowAsLatin1) {
    auto state = instrument->state();
    state.logs[0].label = "VOL \xE9T\xC9";
    instrument->setState(state);
    dialog->show();
    ASSERT_EQ(list()->count(), 2);
    EXPECT_TRUE(list()->item(0)->text().endsWith(QStringLiteral(" VOL \u00E9T\u00C9")))
        << list()->item(0)->text().toStdString();
}

TEST_F(FlightLogsDialogTest, ClearingAsksFirst) {
    dialog->show();
    instrument->clearHistory();
    prompts.answers = {Answer::No};
    dialog->command(FlightLogsDialog::kClearLogsCommand);
    EXPECT_TRUE(instrument->lines().empty());
    EXPECT_EQ(list()->count(), 2);

    prompts.answers = {Answer::Yes};
    dialog->command(FlightLogsDialog::kClearLogsCommand);
    ASSERT_GE(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, "This will erase all flight data in your Vantor 2.");
    EXPECT_EQ(prompts.messages[1].caption, "Clear All Flight Logs?");
    EXPECT_EQ(prompts.messages[1].buttons, Buttons::YesNo);
    ASSERT_EQ(list()->count(), 1);
    EXPECT_EQ(list()->item(0)->text(), "No log files found.");
    EXPECT_EQ(dialog->listedCount(), 0);
}

TEST_F(FlightLogsDialogTest, UnansweredClearIsSaid) {
    dialog->show();
    instrument->failReplies("cle log", sim::ReplyFault::Silent, -1);
    prompts.answers = {Answer::Yes};
    dialog->command(FlightLogsDialog::kClearLogsCommand);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, kClearNotAnswered);
    EXPECT_EQ(prompts.messages[1].caption, "Error");
    EXPECT_EQ(list()->count(), 2);  // read again: the logs are still there
}

}  // namespace
}  // namespace vantor::test
