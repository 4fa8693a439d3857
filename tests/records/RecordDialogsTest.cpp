#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "../app/GuiTestSupport.h"
#include "RecordingPrompts.h"
#include "Simulator.h"
#include "app/MainDialog.h"
#include "link/PortName.h"
#include "records/GliderDialog.h"
#include "records/PilotNameDialog.h"
#include "ui/DialogUnits.h"
#include "ui_GliderDialog.h"
#include "ui_MainDialog.h"
#include "ui_PilotNameDialog.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLockQuestion =
    "Setting Configuration Lock will prevent adjustment of\n"
    "Electronic Total Energy, Slow Alarm, and Polar.\n"
    "Are you sure you want to Lock Configuration?";

std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

std::string blockText(const std::vector<std::uint8_t>& block, std::size_t from, std::size_t n) {
    return std::string(block.begin() + static_cast<std::ptrdiff_t>(from),
                       block.begin() + static_cast<std::ptrdiff_t>(from + n));
}

class RecordDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        instrument = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(instrument->start());
    }
    void TearDown() override { setPortMap({}); }
    std::string device() const { return instrument->devicePath(); }

    RecordingPrompts prompts;
    std::unique_ptr<sim::Simulator> instrument;
};

// ---------------------------------------------------------------- shared record

TEST_F(RecordDialogsTest, PreferencesAreFetchedOnceAndEditsStayInTheMasterRecord) {
    auto state = instrument->state();
    state.instrumentType = 1;
    std::copy_n("Sim Pilot               ", 24, state.pilotPreferences.begin());
    instrument->setState(state);
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", device()}});
    MainDialog main(prompts);
    EXPECT_EQ(main.pilotPreferences(), PilotPreferences());
    EXPECT_EQ(main.instrumentType(), 0);

    std::vector<std::string> shownNames;
    main.runModal = [&](QDialog& d) {
        ASSERT_EQ(&d, &main.pilotNameDialog());
        d.show();
        auto* edit = main.pilotNameDialog().ui().nameEdit;
        shownNames.push_back(text(edit));
        if (shownNames.size() == 1) {
            edit->selectAll();
            QTest::keyClicks(edit, "Edited Name");
        }
        d.reject();  // closed without sending
    };
    for (int i = 0; i < 3; ++i) main.ui().pilotNameButton->click();

    const auto lines = instrument->lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "o"), 1);  // the instrument only once
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "w"), 1);
    EXPECT_EQ(main.instrumentType(), 1);
    EXPECT_TRUE(prompts.messages.empty());
    ASSERT_EQ(shownNames.size(), 3u);
    // The 24 characters of the record.
    EXPECT_EQ(shownNames[0], "Sim Pilot               ");
    EXPECT_EQ(shownNames[1], "Edited Name             ");
    EXPECT_EQ(main.pilotPreferences().name(), "Edited Name             ");
    // The rest of the record is the instrument's.
    EXPECT_EQ(main.pilotPreferences().auxByte1, 1);
}

TEST_F(RecordDialogsTest, WithoutAnInstrumentTheFirstOpeningSaysSoAndShowsTheDefaults) {
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", "/nonexistent/tty"}});
    MainDialog main(prompts);
    std::vector<std::size_t> messagesWhenShown;
    main.runModal = [&](QDialog& d) {
        d.show();
        messagesWhenShown.push_back(prompts.messages.size());
        EXPECT_EQ(text(main.pilotNameDialog().ui().nameEdit), "Default Pilot           ");
        d.reject();
    };
    main.ui().pilotNameButton->click();
    main.ui().pilotNameButton->click();
    EXPECT_EQ(messagesWhenShown, (std::vector<std::size_t>{1, 1}));
    ASSERT_EQ(prompts.messages.size(), 1u);  // the type fetch is quiet
    EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
    EXPECT_EQ(main.instrumentType(), 0);
    EXPECT_EQ(main.pilotPreferences(), PilotPreferences());
}

// ---------------------------------------------------------------- pilot name

TEST_F(RecordDialogsTest, PilotNameEditsTheRecordAndGoesBothWays) {
    PilotNameDialog dialog(prompts);
    dialog.receiveSettings(device(), 0);
    dialog.preferences().setName("Abc");  // as a short name from a file
    dialog.show();
    auto* edit = dialog.ui().nameEdit;
    EXPECT_EQ(text(edit), "Abc" + std::string(21, ' '));
    EXPECT_EQ(dialog.preferences().name(), "Abc");  // showing is no edit
    EXPECT_EQ(edit->maxLength(), 24);

    edit->selectAll();
    QTest::keyClicks(edit, "Zoe");
    EXPECT_EQ(dialog.preferences().name(), "Zoe" + std::string(21, ' '));
    QTest::keyClicks(edit, std::string(30, 'x').c_str());  // the box holds what the record keeps
    EXPECT_EQ(text(edit), "Zoe" + std::string(21, 'x'));
    EXPECT_EQ(dialog.preferences().name(), "Zoe" + std::string(21, 'x'));

    dialog.ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Success");
    EXPECT_EQ(dialog.preferences().auxByte1, 0);
    EXPECT_EQ(blockText(instrument->state().pilotPreferences, 0, 24), "Zoe" + std::string(21, 'x'));

    auto state = instrument->state();
    std::copy_n("Fetched                 ", 24, state.pilotPreferences.begin());
    instrument->setState(state);
    dialog.ui().fromVantorButton->click();
    EXPECT_EQ(text(edit), "Fetched" + std::string(17, ' '));
    EXPECT_EQ(dialog.preferences().name(), "Fetched" + std::string(17, ' '));
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(RecordDialogsTest, SingleByteTextsShowAsLatin1AndGoBackAsTheSameBytes) {
    const std::string name = "Ren\xE9 Dupr\xE9              ";  // 24 bytes
    const std::string type = "K\xE4the \xE9t\xE9   ";
    const std::string id = "D-\xC4\xD6\xDC       ";
    auto state = instrument->state();
    std::copy(name.begin(), name.end(), state.pilotPreferences.begin());
    std::copy(type.begin(), type.end(), state.glider.begin());
    std::copy(id.begin(), id.end(), state.glider.begin() + 12);
    instrument->setState(state);

    // Each box is typed again as shown, so that what goes back passes through it.
    auto retype = [](QLineEdit* edit) {
        const QString shown = edit->text();
        edit->clear();
        for (const QChar c : shown) {  // keyClicks takes ASCII only
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    };
    PilotNameDialog pilot(prompts);
    pilot.receiveSettings(device(), 0);
    pilot.show();
    pilot.ui().fromVantorButton->click();
    EXPECT_EQ(pilot.ui().nameEdit->text(), QString::fromUtf8("René Dupré              "));
    retype(pilot.ui().nameEdit);
    instrument->setState(sim::initialState({}));
    pilot.ui().toVantorButton->click();
    EXPECT_EQ(blockText(instrument->state().pilotPreferences, 0, 24), name);

    state = instrument->state();
    std::copy(type.begin(), type.end(), state.glider.begin());
    std::copy(id.begin(), id.end(), state.glider.begin() + 12);
    instrument->setState(state);
    GliderDialog glider(prompts);
    glider.receiveSettings(device(), 0);
    glider.show();
    EXPECT_EQ(glider.ui().typeEdit->text(), QString::fromUtf8("Käthe été   "));
    EXPECT_EQ(glider.ui().idEdit->text(), QString::fromUtf8("D-ÄÖÜ       "));
    retype(glider.ui().typeEdit);
    retype(glider.ui().idEdit);
    instrument->setState(sim::initialState({}));
    glider.ui().toVantorButton->click();
    EXPECT_EQ(blockText(instrument->state().glider, 0, 24), type + id);

    const fs::path dir =
        fs::temp_directory_path() / ("vantor-latin1-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "glider.plr").string();
    prompts.fileAnswers = {path};
    glider.ui().toFileButton->click();
    const auto written = readRecordFile(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->substr(0, 25), type + "," + id);
    EXPECT_EQ(prompts.messages.size(), 2u);  // the two successes
    fs::remove_all(dir);
}

TEST_F(RecordDialogsTest, VantorctlRefusesRecordFilesTheInstrumentCannotKeep) {
    const fs::path dir = fs::temp_directory_path() / ("vantor-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string prefs = (dir / "pilot.ppf").string();
    const std::string polar = (dir / "glider.plr").string();
    ASSERT_TRUE(writeRecordFile(prefs, "o,Eve,1,1,1,0,0,100,70000,400,4,1,5,100,102,255,18,9"));
    ASSERT_TRUE(writeRecordFile(polar, "LS-4,ab, 40, 100, 300, 350, 77, 0, 09000\n"));
    const struct {
        std::string command;
        std::string said;
    } cases[] = {
        {"prefs put " + prefs,
         "Error: The file was not loaded: it holds 70000 where the instrument keeps only 0 to "
         "65535.\n"},
        {"glider put " + polar,
         "Error: The file was not loaded: it holds 300 where the instrument keeps only 0 to "
         "255.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        instrument->clearHistory();
        const std::string command = std::string(VANTORCTL_PATH) + " --port " + device() + " " +
                                    c.command + " 2>&1 >/dev/null";
        std::string said;
        int status = -1;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) said += buffer;
            status = ::pclose(pipe);
        }
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(said, c.said);
        EXPECT_TRUE(instrument->lines().empty());  // the instrument was never asked
    }
    fs::remove_all(dir);
}

// ---------------------------------------------------------------- glider

class GliderDialogTest : public RecordDialogsTest {
protected:
    void SetUp() override {
        RecordDialogsTest::SetUp();
        dialog = std::make_unique<GliderDialog>(prompts);
        dialog->receiveSettings(device(), 0);
    }
    Ui::GliderDialog& ui() { return dialog->ui(); }

    std::unique_ptr<GliderDialog> dialog;
};

TEST_F(GliderDialogTest, OpeningFetchesAndShowsTheInstrumentsValues) {
    auto state = instrument->state();
    state.glider[24] = 44;
    state.glider[34] = 0xFF;  // locked
    state.glider[35] = 0xFE;
    state.glider[36] = 10050 >> 8;
    state.glider[37] = 10050 & 0xFF;
    instrument->setState(state);
    dialog->show();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(text(ui().typeEdit), "ASW-20      ");
    EXPECT_EQ(text(ui().bestGlideEdit), "44");
    EXPECT_EQ(text(ui().wingAreaEdit), "10.050");
    EXPECT_EQ(dialog->polar().wingArea, 10050);
    EXPECT_TRUE(ui().lockCheck->isChecked());
    EXPECT_EQ(prompts.waitCursor, 0);
    dialog->hide();

    // Without an instrument the next opening says so and keeps what it showed.
    dialog->receiveSettings("/nonexistent/tty", 0);
    dialog->show();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
    EXPECT_EQ(prompts.messages[0].owner, dialog.get());
    EXPECT_EQ(text(ui().wingAreaEdit), "10.050");
    EXPECT_FALSE(ui().lockCheck->isChecked());  // every opening starts unlocked
}

TEST_F(GliderDialogTest, WingAreaTypingBeepsAtALetterAndKeepsTheValue) {
    dialog->show();
    QLineEdit* edit = ui().wingAreaEdit;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "12");
    EXPECT_EQ(dialog->polar().wingArea, 12000);
    QTest::keyClicks(edit, "a");
    EXPECT_EQ(prompts.beeps, 1);
    EXPECT_EQ(text(edit), "12");
    EXPECT_EQ(edit->cursorPosition(), 2);
    EXPECT_EQ(dialog->polar().wingArea, 12000);
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClicks(edit, "-");  // in the middle: the caret stays where it was typed
    EXPECT_EQ(text(edit), "12");
    EXPECT_EQ(edit->cursorPosition(), 1);

    edit->selectAll();
    QTest::keyClicks(edit, "11.25");
    EXPECT_EQ(dialog->polar().wingArea, 11250);
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(GliderDialogTest, LockQuestionAndTheSendThatAsksAgain) {
    dialog->show();
    prompts.answers = {Answer::No};
    ui().lockCheck->click();
    EXPECT_FALSE(ui().lockCheck->isChecked());
    EXPECT_FALSE(dialog->polar().locked());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kLockQuestion);
    EXPECT_EQ(prompts.messages[0].caption, "Warning");
    EXPECT_EQ(prompts.messages[0].buttons, Buttons::YesNo);

    prompts.answers = {Answer::Yes};
    ui().lockCheck->click();
    EXPECT_TRUE(ui().lockCheck->isChecked());
    EXPECT_TRUE(dialog->polar().locked());

    // Sent locked after a second Yes.
    prompts.messages.clear();
    prompts.answers = {Answer::Yes};
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, kLockQuestion);
    EXPECT_EQ(prompts.messages[1].text, "Polar Transferred");
    EXPECT_EQ(instrument->state().glider[35], 0xFE);

    // No at the send unlocks before sending: 65535 goes out.
    prompts.messages.clear();
    prompts.answers = {Answer::No};
    ui().bestGlideEdit->setText(QStringLiteral("52"));
    ui().toVantorButton->click();
    EXPECT_FALSE(ui().lockCheck->isChecked());
    EXPECT_FALSE(dialog->polar().locked());
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].caption, "Success");
    const auto glider = instrument->state().glider;
    EXPECT_EQ(glider[34] << 8 | glider[35], 65535);
    EXPECT_EQ(glider[24], 52);
}

TEST_F(GliderDialogTest, ValidationStopsTheSendAndPolarFilesRoundTrip) {
    dialog->show();
    ui().dryWeightEdit->clear();
    instrument->clearHistory();
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter an integer.");
    EXPECT_TRUE(instrument->lines().empty());

    const fs::path dir = fs::temp_directory_path() / ("vantor-plr-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "glider.plr").string();
    ui().dryWeightEdit->setText(QStringLiteral("290"));
    ui().typeEdit->setText(QStringLiteral("Std Cirrus"));
    ui().wingAreaEdit->setText(QStringLiteral("10.04"));
    prompts.fileAnswers = {path, path};
    ui().toFileButton->click();
    EXPECT_EQ(prompts.fileChoices[0].filter, "Polar Files (*.plr)|*.plr||");
    EXPECT_TRUE(prompts.fileChoices[0].promptOverwrite);

    ui().dryWeightEdit->setText(QStringLiteral("1"));
    ui().typeEdit->setText(QStringLiteral("x"));
    prompts.answers = {Answer::Yes};
    ui().lockCheck->click();
    ui().fromFileButton->click();
    EXPECT_TRUE(prompts.fileChoices[1].mustExist);
    EXPECT_EQ(prompts.fileChoices[1].initialName, "*.plr");
    EXPECT_EQ(text(ui().dryWeightEdit), "290");
    EXPECT_EQ(text(ui().typeEdit), "Std Cirrus  ");
    EXPECT_EQ(text(ui().wingAreaEdit), "10.040");
    EXPECT_TRUE(ui().lockCheck->isChecked());  // the file holds no lock
    EXPECT_EQ(prompts.messages.size(), 2u);
    fs::remove_all(dir);
}

TEST_F(GliderDialogTest, ValuesTheInstrumentCannotKeepAreRefusedBeforeAnythingGoesOut) {
    const fs::path dir =
        fs::temp_directory_path() / ("vantor-bounds-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "glider.plr").string();
    dialog->show();

    using U = Ui::GliderDialog;
    const struct {
        QLineEdit* U::*edit;
        const char* refused;
        const char* message;
    } cases[] = {
        {&U::bestGlideEdit, "300", "Please enter an integer between 0 and 255."},
        {&U::bestGlideSpeedEdit, "256", "Please enter an integer between 0 and 255."},
        {&U::v2SpeedEdit, "9999", "Please enter an integer between 0 and 255."},
        {&U::dryWeightEdit, "65536", "Please enter an integer between 0 and 65535."},
        {&U::waterEdit, "-1", "Please enter an integer between 0 and 65535."},
        {&U::wingAreaEdit, "65.536", "Please enter a number between 0 and 65.535."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        QLineEdit* edit = ui().*c.edit;
        const QString kept = edit->text();
        edit->setText(QString::fromLatin1(c.refused));
        instrument->clearHistory();
        prompts.messages.clear();
        prompts.fileChoices.clear();
        prompts.fileAnswers = {path};
        ui().toVantorButton->click();
        ui().toFileButton->click();
        ASSERT_EQ(prompts.messages.size(), 2u);
        for (const auto& m : prompts.messages) {
            EXPECT_EQ(m.text, c.message);
            EXPECT_EQ(m.caption, "");
            EXPECT_EQ(m.owner, dialog.get());
        }
        EXPECT_EQ(dialog->focusWidget(), edit);
        EXPECT_TRUE(instrument->lines().empty());
        EXPECT_TRUE(prompts.fileChoices.empty());
        EXPECT_FALSE(fs::exists(path));
        edit->setText(kept);
    }

    // The largest values go to the instrument and come back as they were.
    prompts.messages.clear();
    for (QLineEdit* e : {ui().bestGlideEdit, ui().bestGlideSpeedEdit, ui().v2SpeedEdit}) {
        e->setText(QStringLiteral("255"));
    }
    ui().dryWeightEdit->setText(QStringLiteral("65535"));
    ui().waterEdit->setText(QStringLiteral("65535"));
    ui().wingAreaEdit->setText(QStringLiteral("65.535"));
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Polar Transferred");
    dialog->polar() = GliderPolar();
    ui().fromVantorButton->click();
    EXPECT_EQ(text(ui().bestGlideEdit), "255");
    EXPECT_EQ(text(ui().v2SpeedEdit), "255");
    EXPECT_EQ(text(ui().waterEdit), "65535");
    EXPECT_EQ(text(ui().wingAreaEdit), "65.535");

    // A wing area typed while another box was refused still goes out as shown.
    ui().bestGlideEdit->setText(QStringLiteral("300"));
    ui().wingAreaEdit->selectAll();
    QTest::keyClicks(ui().wingAreaEdit, "12");
    EXPECT_EQ(prompts.messages.back().text, "Please enter an integer between 0 and 255.");
    ui().bestGlideEdit->setText(QStringLiteral("30"));
    prompts.messages.clear();
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Success");
    const auto glider = instrument->state().glider;
    EXPECT_EQ(glider[24], 30);
    EXPECT_EQ(glider[36] << 8 | glider[37], 12000);
    fs::remove_all(dir);
}

TEST_F(GliderDialogTest, APolarFileTheInstrumentCannotKeepIsNotLoaded) {
    const fs::path dir =
        fs::temp_directory_path() / ("vantor-plr300-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "glider.plr").string();
    ASSERT_TRUE(writeRecordFile(path, "LS-4,ab, 300, 100, 175, 350, 77, 0, 09000\n"));
    dialog->show();
    const GliderPolar before = dialog->polar();
    prompts.fileAnswers = {path};
    ui().fromFileButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "The file was not loaded: it holds 300 where the instrument keeps only 0 to 255.");
    EXPECT_EQ(prompts.messages[0].caption, "Error");
    EXPECT_EQ(prompts.messages[0].owner, dialog.get());
    EXPECT_EQ(dialog->polar(), before);
    EXPECT_EQ(text(ui().typeEdit), "ASW-20      ");
    fs::remove_all(dir);
}

TEST_F(RecordDialogsTest, DialogsShowEveryTextWhole) {
    GliderDialog glider(prompts);
    PilotNameDialog pilot(prompts);
    glider.receiveSettings(device(), 0);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&glider, &pilot}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        QApplication::processEvents();
        const QRect inside(QPoint(0, 0), dialog->size());
        for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            SCOPED_TRACE(w->objectName().toStdString());
            EXPECT_FALSE(textIsClipped(w));
            EXPECT_TRUE(inside.contains(w->geometry()));
        }
        dialog->hide();
    }
    EXPECT_EQ(glider.windowTitle(), "Edit Glider Configuration");
    EXPECT_EQ(pilot.windowTitle(), "Edit Pilot Name");
}

}  // namespace
}  // namespace vantor::test
