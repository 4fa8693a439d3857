#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "RecordingPrompts.h"
#include "Simulator.h"
#include "logs/FlightLogsDialog.h"
#include "logs/FlightWindow.h"
#include "logs/IgcFile.h"
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
        dialog->setFlightViewer([this](const std::string& path, const std::string& text) {
            viewed.emplace_back(path, text);
        });
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

    std::string shortName(int index) const {
        return logShortFileName(dialog->directory(), index, dialog->instrumentSerial(), 0, false);
    }
    std::string igcOf(std::size_t n) const {
        const auto log = instrument->state().logs[n];
        return log.igc + std::string(log.security.begin(), log.security.end());
    }
    static std::string readFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    long linesEqual(const std::string& line) const {
        const auto lines = instrument->lines();
        return std::count(lines.begin(), lines.end(), line);
    }

    std::vector<std::pair<std::string, std::string>> viewed;
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

    // While the worker runs only Cancel can be used.
    EXPECT_FALSE(list()->isEnabled());
    EXPECT_FALSE(dialog->ui().transferButton->isEnabled());
    EXPECT_TRUE(dialog->ui().cancelButton->isEnabled());
    dialog->task().waitUntilDone();
    EXPECT_TRUE(list()->isEnabled());
    EXPECT_FALSE(dialog->ui().cancelButton->isEnabled());
    EXPECT_EQ(dialog->ui().statusText->text(), "Transfer Complete");
    EXPECT_EQ(dialog->ui().progressBar->value(), dialog->ui().progressBar->maximum());
    EXPECT_GT(dialog->ui().progressBar->maximum(), 1);
    ASSERT_EQ(viewed.size(), 1u);  // the flight is shown after its download
    EXPECT_EQ(viewed[0].first, path);
    EXPECT_NE(viewed[0].second.find("Security OK"), std::string::npos);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Verification");
    EXPECT_EQ(prompts.messages[0].text,
              "Log Data Integrity OK\nSignature Data Integrity OK\nSecurity OK\n\n" + path);
    EXPECT_EQ(prompts.messages[0].icon, Icon::Information);
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

// Escape (or Cancel) stops a download at the next block: the earlier file of
// that name stays, no part file is left and the instrument is back at 4800.
TEST_F(FlightLogsDialogTest, CancelKeepsTheEarlierFile) {
    dialog->show();
    const fs::path path = dir / "kept.igc";
    std::ofstream(path, std::ios::binary) << "an earlier download";
    instrument->setPacing(true);
    list()->item(1)->setSelected(true);
    prompts.fileAnswers.push_back(path.string());
    dialog->ui().transferButton->click();
    ASSERT_TRUE(dialog->task().running());
    for (int i = 0; i < 1000 && dialog->ui().progressBar->value() < 1; ++i) QTest::qWait(10);
    ASSERT_GE(dialog->ui().progressBar->value(), 1);
    QTest::keyClick(dialog->ui().cancelButton, Qt::Key_Escape);
    dialog->task().waitUntilDone();
    EXPECT_EQ(dialog->ui().statusText->text(), "Transfer Cancelled");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(viewed.empty());
    EXPECT_EQ(readFile(path), "an earlier download");
    EXPECT_FALSE(fs::exists(path.string() + ".part"));
    EXPECT_EQ(instrument->rate(), 4800);
    EXPECT_EQ(linesEqual("b s"), 0);
}

// Several lines go into one folder in one connection, under their short names.
TEST_F(FlightLogsDialogTest, SeveralSelectedLogsGoToOneFolder) {
    dialog->show();
    list()->item(0)->setSelected(true);
    list()->item(1)->setSelected(true);
    prompts.fileAnswers.push_back(dir.string());
    instrument->clearHistory();
    dialog->ui().transferButton->click();
    dialog->task().waitUntilDone();
    ASSERT_EQ(prompts.fileChoices.size(), 1u);  // asked once
    EXPECT_EQ(readFile(dir / shortName(0)), igcOf(0));
    EXPECT_EQ(readFile(dir / shortName(1)), igcOf(1));
    EXPECT_EQ(linesEqual("bau 10"), 1);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Transfer Flight Logs");
    EXPECT_EQ(prompts.messages[0].text.rfind("Saved 2 of 2 flight logs in\n" + dir.string(), 0), 0u)
        << prompts.messages[0].text;
    EXPECT_EQ(dialog->downloadFolder(), dir.string());
    EXPECT_TRUE(viewed.empty());
}

// Download New fetches what the folder lacks, and nothing a second time.
TEST_F(FlightLogsDialogTest, DownloadNewFetchesOnlyWhatIsMissing) {
    std::string kept;
    dialog->onDownloadFolderChanged([&](const std::string& f) { kept = f; });
    dialog->setDownloadFolder(dir.string());
    dialog->show();
    std::ofstream(dir / shortName(0), std::ios::binary) << "saved before";
    dialog->ui().downloadNewButton->click();
    dialog->task().waitUntilDone();
    EXPECT_EQ(readFile(dir / shortName(0)), "saved before");
    EXPECT_EQ(readFile(dir / shortName(1)), igcOf(1));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Download New");
    EXPECT_EQ(prompts.messages[0].text.rfind("Saved 1 of 1 flight log in", 0), 0u);

    instrument->clearHistory();
    dialog->ui().downloadNewButton->click();
    EXPECT_FALSE(dialog->task().running());
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text,
              "No new flight logs: every listed log is already in\n" + dir.string());
    EXPECT_TRUE(instrument->lines().empty());
    EXPECT_TRUE(kept.empty());  // nothing was chosen
}

// Logs left out by the minimum time are counted; logs already in the download
// folder carry a mark; a new opening does not repeat an old download's status.
TEST_F(FlightLogsDialogTest, HiddenLogsAreCountedAndSavedLogsMarked) {
    dialog->show();
    const auto& entries = dialog->directory().entries;
    const int shorter = std::min(entries[0].durationSeconds, entries[1].durationSeconds);
    const int longer = std::max(entries[0].durationSeconds, entries[1].durationSeconds);
    const std::uint32_t minutes = static_cast<std::uint32_t>((shorter + 59) / 60);
    ASSERT_GT(longer, static_cast<int>(minutes * 60)) << "the fixture needs two lengths";
    EXPECT_TRUE(dialog->ui().hiddenText->text().isEmpty());

    dialog->setDownloadFolder(dir.string());
    dialog->setPortAndMinimumTime(instrument->devicePath(), minutes);
    dialog->hide();
    dialog->show();
    ASSERT_EQ(dialog->listedCount(), 1);
    EXPECT_EQ(dialog->ui().hiddenText->text(),
              QStringLiteral("1 log of %1 minutes or less not shown").arg(minutes));
    EXPECT_FALSE(list()->item(0)->data(FlightLogsDialog::kSavedRole).toBool());

    // Saved under another folder: that folder is the download folder now.
    const fs::path other = dir / "other";
    fs::create_directories(other);
    const int index = dialog->listMap()[0];
    const std::string path =
        (other / logShortFileName(dialog->directory(), index, dialog->instrumentSerial(),
                                  minutes * 60, false))
            .string();
    prompts.fileAnswers.push_back(path);
    list()->item(0)->setSelected(true);
    dialog->ui().transferButton->click();
    EXPECT_EQ(prompts.fileChoices.back().initialFolder, dir.string());
    dialog->task().waitUntilDone();
    EXPECT_EQ(dialog->downloadFolder(), other.string());
    EXPECT_TRUE(list()->item(0)->data(FlightLogsDialog::kSavedRole).toBool());
    EXPECT_EQ(list()->item(0)->text().toStdString().find(path), std::string::npos);
    EXPECT_EQ(dialog->ui().statusText->text(), "Transfer Complete");

    dialog->setPortAndMinimumTime(instrument->devicePath(), 100000);
    dialog->hide();
    dialog->show();
    EXPECT_TRUE(dialog->ui().statusText->text().isEmpty());
    EXPECT_EQ(dialog->ui().hiddenText->text(), "2 logs of 100000 minutes or less not shown");
    EXPECT_EQ(list()->item(0)->text(), "No log files found.");
    // The open dialogs start in the download folder too.
    dialog->ui().verifyButton->click();
    EXPECT_EQ(prompts.fileChoices.back().initialFolder, other.string());
}

// A file whose check is not fully OK is named with the warning icon.
TEST_F(FlightLogsDialogTest, DoubtfulVerificationWarns) {
    const std::string path = (dir / "tampered.igc").string();
    std::string igc = igcOf(0);
    igc[igc.find("\nB") + 9] ^= 1;  // one digit of the first fix
    std::ofstream(path, std::ios::binary) << igc;
    prompts.fileAnswers.push_back(path);
    dialog->ui().verifyButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Verification");
    EXPECT_EQ(prompts.messages[0].icon, Icon::Warning);
    EXPECT_NE(prompts.messages[0].text.find("Log Data Integrity Fail\n"), std::string::npos);
    EXPECT_TRUE(prompts.messages[0].text.ends_with("\n" + path));
}

// The list takes what the window grows by; the buttons keep their size.
TEST_F(FlightLogsDialogTest, ListGrowsWithTheWindow) {
    dialog->show();
    const QSize minimum = dialog->minimumSize();
    EXPECT_EQ(dialog->size(), minimum);
    const QSize list0 = list()->size();
    const QSize button0 = dialog->ui().transferButton->size();
    const QPoint cancel0 = dialog->ui().cancelButton->pos();
    dialog->resize(minimum + QSize(200, 150));
    QApplication::processEvents();
    EXPECT_EQ(list()->size(), list0 + QSize(200, 150));
    EXPECT_EQ(dialog->ui().transferButton->size(), button0);
    EXPECT_EQ(dialog->ui().cancelButton->pos(), cancel0 + QPoint(200, 150));
}

// After an IGC download the flight window opens over the dialog with the
// figures of the saved file; "View Flight" opens any IGC file the same way.
TEST_F(FlightLogsDialogTest, FlightWindowShowsTheDownloadedFlight) {
    FlightLogsDialog own(prompts);
    own.setPortAndMinimumTime(instrument->devicePath(), 0);
    own.show();
    const std::string path = (dir / "shown.igc").string();
    prompts.fileAnswers.push_back(path);
    own.ui().logList->item(0)->setSelected(true);
    own.ui().transferButton->click();
    own.task().waitUntilDone();
    const auto windows = own.findChildren<FlightWindow*>();
    ASSERT_EQ(windows.size(), 1);
    const auto read = readIgcFile(path);
    ASSERT_TRUE(read.file);
    const FlightSummary summary = summarizeFlight(*read.file);
    EXPECT_TRUE(windows[0]->hasFlight());
    EXPECT_TRUE(windows[0]->figure("fixes").contains(QString::number(summary.fixes)))
        << windows[0]->figure("fixes").toStdString();
    EXPECT_TRUE(windows[0]->verificationText().contains("Security OK"));

    prompts.fileAnswers.push_back(path);
    own.ui().viewFlightButton->click();
    EXPECT_EQ(own.findChildren<FlightWindow*>().size(), 2);
    EXPECT_TRUE(prompts.fileChoices.back().mustExist);
}

}  // namespace
}  // namespace vantor::test
