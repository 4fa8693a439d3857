#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "../app/GuiTestSupport.h"
#include "RecordingPrompts.h"
#include "Simulator.h"
#include "app/MainDialog.h"
#include "navpoints/NavpointFile.h"
#include "navpoints/NavpointsDialog.h"
#include "ui_MainDialog.h"
#include "ui_NavpointsDialog.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

// The simulator takes what the program sent after the program has moved on.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two navpoints, B before A, as the program writes them.
const std::string kFile =
    "7,47:30.1250N,008:15.0000E,450M,TA,B           ,GRASS       \r\n"
    "8,46:00.0000S,007:00.5000W,-20M,H,A           ,            \r\n";

// Latin-1 letters in name and comment, as the program writes them; the list
// and the message boxes show them as these characters.
const std::string kLatinOneLine =
    "5,47:30.1250N,008:15.0000E,450M,T,Caf\xE9        ,Pr\xE9 sal\xE9    \r\n";
const char* const kLatinOneName = "Caf\xC3\xA9        ";
const char* const kLatinOneDetails =
    "5 Caf\xC3\xA9        \n47:30.1250N\n008:15.0000E\n450\nPr\xC3\xA9 sal\xC3\xA9    ";

class NavpointsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        instrument = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(instrument->start());
        table = std::make_unique<NavpointTable>();
        dialog = std::make_unique<NavpointsDialog>(prompts, *table);
        dialog->setPortName(instrument->devicePath());
        dir = fs::temp_directory_path() /
              ("vantor-navpoints-dialog-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        file = (dir / "points.dat").string();
        std::ofstream(file, std::ios::binary) << kFile;
    }
    void TearDown() override {
        dialog.reset();
        fs::remove_all(dir);
    }
    Ui::NavpointsDialog& ui() { return dialog->ui(); }
    QStringList items(QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }
    void doubleClick(QListWidget* list, int row) {
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    void loadFile() {
        prompts.fileAnswers.push_back(file);
        ui().fromFileButton->click();
    }
    void selectNavpoint(const QString& name) {
        const auto found = ui().navpointList->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        ui().navpointList->setCurrentItem(found[0]);
    }
    const RecordedMessage& lastMessage() { return prompts.messages.back(); }

    RecordingPrompts prompts;
    std::unique_ptr<sim::Simulator> instrument;
    std::unique_ptr<NavpointTable> table;
    std::unique_ptr<NavpointsDialog> dialog;
    fs::path dir;
    std::string file;
};

TEST_F(NavpointsDialogTest, FileIsReadListedSortedAndWrittenBack) {
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Transfer Navpoints & Tasks");
    EXPECT_FALSE(ui().dudeButton->isVisible());
    loadFile();
    ASSERT_EQ(prompts.fileChoices.size(), 1u);
    const FileChoice& open = prompts.fileChoices[0];
    const std::string filter =
        "Naypoint Files (*.dat *.txt)|*.dat;*.txt|CUP Files (*.cup)|*.cup|All Files (*.*)|*.*||";
    EXPECT_EQ(open.filter, filter);
    EXPECT_EQ(open.initialFolder, "\\My Documents\\");
    EXPECT_TRUE(open.mustExist);
    EXPECT_EQ(open.owner, dialog.get());
    EXPECT_EQ(items(ui().navpointList), (QStringList{"A           ", "B           "}));
    EXPECT_EQ(dialog->fileFolder(), file);

    doubleClick(ui().navpointList, 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "8 A           \n46:00.0000S\n007:00.5000W\n-20\n            ");
    EXPECT_EQ(lastMessage().caption, "Waypoint");
    doubleClick(ui().navpointList, 1);
    EXPECT_EQ(lastMessage().text, "7 B           \n47:30.1250N\n008:15.0000E\n450\nGRASS       ");

    // Cancelled file dialogs change nothing.
    ui().fromFileButton->click();
    ui().toFileButton->click();
    EXPECT_EQ(prompts.fileChoices.size(), 3u);
    EXPECT_EQ(prompts.fileChoices[1].initialFolder, file);
    EXPECT_EQ(table->count, 2);

    const std::string out = (dir / "out.dat").string();
    prompts.fileAnswers.push_back(out);
    ui().toFileButton->click();
    const FileChoice& save = prompts.fileChoices.back();
    EXPECT_EQ(save.initialName, file);
    EXPECT_EQ(save.filter, filter);
    EXPECT_EQ(save.defaultExtension, "dat");
    EXPECT_TRUE(save.promptOverwrite);
    EXPECT_EQ(readFile(out), kFile);
    EXPECT_EQ(prompts.messages.size(), 2u);  // nothing said on success
}

TEST_F(NavpointsDialogTest, FileFailures) {
    dialog->show();
    loadFile();
    // Chosen, but it cannot be opened or read: the pilot's navpoints stay.
    for (const fs::path& unreadable : {dir / "gone.dat", dir}) {
        prompts.fileAnswers.push_back(unreadable.string());
        ui().fromFileButton->click();
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(lastMessage().text, "Error retrieving file.");
        EXPECT_EQ(lastMessage().caption, "");  // the application's name
        EXPECT_EQ(table->count, 2);
        EXPECT_EQ(items(ui().navpointList), (QStringList{"A           ", "B           "}));
        prompts.messages.clear();
    }

    prompts.fileAnswers.push_back((dir / "no-folder" / "x.dat").string());
    ui().toFileButton->click();
    EXPECT_EQ(lastMessage().text, "Could not open file for writing.");
    EXPECT_EQ(lastMessage().caption, "Error");
}

const std::string kCupHeader =
    "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc\r\n";

// A CUP file is read and written by its extension; its first task is offered
// for the task list.
TEST_F(NavpointsDialogTest, CupFileIsReadWithItsTaskAndWrittenAsCup) {
    const std::string cup = (dir / "contest.CUP").string();
    std::ofstream(cup, std::ios::binary)
        << kCupHeader
        << "\"Hilltop\",HT,,4730.125N,00815.000E,1640ft,7,,,,,\"Summit\"\r\n"
           "\"Home \xC3\x84\",HM,,4600.000S,00700.500W,-20.0m,5,,,,,\"\"\r\n"
           "bad line\r\n"
           "-----Related Tasks-----\r\n"
           "\"Tri\xC3\xA4ngle\",\"Home \xC3\x84\",\"Hilltop\",\"Home \xC3\x84\"\r\n"
           "Options,TaskTime=03:00:00\r\n";
    dialog->show();
    prompts.fileAnswers.push_back(cup);
    prompts.answers = {Answer::Yes};
    ui().fromFileButton->click();
    EXPECT_EQ(items(ui().navpointList), (QStringList{"HILLTOP", "HOME A"}));
    EXPECT_EQ(ui().statusText->text(), "1 line skipped: not a navpoint");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text,
              "Take the file's task \"Tri\xC3\xA4ngle\" (3 points) into the task list?");
    EXPECT_EQ(lastMessage().caption, "Task");
    EXPECT_EQ(lastMessage().buttons, Buttons::YesNo);
    EXPECT_EQ(items(ui().taskList), (QStringList{"HOME A", "HILLTOP", "HOME A"}));
    doubleClick(ui().navpointList, 0);
    EXPECT_EQ(lastMessage().text, "1 HILLTOP\n47:30.1250N\n008:15.0000E\n500\nSUMMIT");

    const std::string out = (dir / "out.cup").string();
    prompts.fileAnswers.push_back(out);
    ui().toFileButton->click();
    EXPECT_EQ(prompts.fileChoices.back().initialName, cup);
    EXPECT_EQ(readFile(out),
              kCupHeader +
                  "\"HILLTOP\",HILLTOP,,4730.125N,00815.000E,500.0m,1,,,,,\"SUMMIT\"\r\n"
                  "\"HOME A\",HOME A,,4600.000S,00700.500W,-20.0m,5,,,,,\"\"\r\n");

    // Declined, the task list stays; a task whose point the file lacks is not taken.
    prompts.messages.clear();
    prompts.answers = {Answer::No};
    prompts.fileAnswers.push_back(cup);
    ui().fromFileButton->click();
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(items(ui().taskList), (QStringList{"HOME A", "HILLTOP", "HOME A"}));
    std::ofstream(cup, std::ios::binary)
        << kCupHeader << "\"Hilltop\",HT,,4730.125N,00815.000E,1640ft,7,,,,,\r\n"
        << "-----Related Tasks-----\r\n\"Lost\",\"Hilltop\",\"Nowhere\"\r\n";
    prompts.answers = {Answer::Yes};
    prompts.fileAnswers.push_back(cup);
    ui().fromFileButton->click();
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(lastMessage().text, "The task point \"Nowhere\" is not among the file's waypoints.");
    EXPECT_EQ(lastMessage().caption, "Error");
    EXPECT_EQ(items(ui().navpointList), QStringList{"HILLTOP"});
    EXPECT_EQ(items(ui().taskList), (QStringList{"HOME A", "HILLTOP", "HOME A"}));
}

// A CUP file without a waypoint that reads is refused; the navpoints stay,
// and so does what "To Vantor" would send.
TEST_F(NavpointsDialogTest, CupFileWithoutWaypointsLeavesTheNavpoints) {
    dialog->show();
    loadFile();
    const std::string cup = (dir / "other.cup").string();
    std::ofstream(cup, std::ios::binary) << kFile;
    prompts.fileAnswers.push_back(cup);
    ui().fromFileButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text,
              "This CUP file holds no waypoint that could be read.\nThe navpoints are as they "
              "were.");
    EXPECT_EQ(lastMessage().caption, "Error");
    EXPECT_EQ(table->count, 2);
    EXPECT_EQ(items(ui().navpointList), (QStringList{"A           ", "B           "}));
}

TEST_F(NavpointsDialogTest, LinesThatAreNoNavpointsAreCountedInTheStatus) {
    dialog->show();
    const struct {
        std::string text;
        const char* status;
    } cases[] = {
        {"Number,Latitude,Longitude\r\n" + kFile + "\r\n9,47:30.1250X,008:15.0000E,0M,,BAD,\r\n",
         "2 lines skipped: not navpoints"},
        {kFile + "not a navpoint\n", "1 line skipped: not a navpoint"},
        {kFile + "\r\n  \r\n", ""},  // blank lines are not worth a word
    };
    for (const auto& c : cases) {
        std::ofstream(file, std::ios::binary) << c.text;
        loadFile();
        EXPECT_EQ(ui().statusText->text(), c.status);
        EXPECT_EQ(items(ui().navpointList), (QStringList{"A           ", "B           "}));
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(NavpointsDialogTest, LatinOneTextsShowAsTheirLettersAndAreWrittenAsTheirBytes) {
    std::ofstream(file, std::ios::binary) << kLatinOneLine;
    dialog->show();
    loadFile();
    EXPECT_EQ(items(ui().navpointList), QStringList{QString::fromUtf8(kLatinOneName)});
    doubleClick(ui().navpointList, 0);  // found again by its name
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, kLatinOneDetails);
    const std::string out = (dir / "out.dat").string();
    prompts.fileAnswers.push_back(out);
    ui().toFileButton->click();
    EXPECT_EQ(readFile(out), kLatinOneLine);
}

TEST_F(NavpointsDialogTest, FileGoesToTheInstrumentAndComesBackUnchanged) {
    std::ofstream(file, std::ios::binary) << kFile + kLatinOneLine;
    dialog->show();
    loadFile();
    ui().toVantorButton->click();
    EXPECT_FALSE(dialog->isEnabled());
    EXPECT_FALSE(dialog->close());  // not while the transfer runs
    dialog->task().waitUntilDone();
    ASSERT_EQ(prompts.messages.size(), 1u);  // the question, answered Yes
    EXPECT_EQ(lastMessage().text,
              "Replace the navpoints in the instrument with the 3 in the list?");
    EXPECT_EQ(lastMessage().buttons, Buttons::YesNo);
    prompts.messages.clear();
    EXPECT_TRUE(dialog->isEnabled());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(ui().statusText->text(), "Success");
    const auto sent = instrument->state().navpoints;
    ASSERT_EQ(sent.size(), 3u);
    // Name and comment went as the file's bytes.
    EXPECT_EQ(std::string(sent[2].begin() + 14, sent[2].end()),
              "Caf\xE9        Pr\xE9 sal\xE9    ");

    table->count = 0;
    dialog->fillNavpointList();
    ui().fromVantorButton->click();
    dialog->task().waitUntilDone();
    EXPECT_EQ(ui().statusText->text(), "Success");
    EXPECT_EQ(items(ui().navpointList),
              (QStringList{"A           ", "B           ", QString::fromUtf8(kLatinOneName)}));
    const std::string out = (dir / "back.dat").string();
    prompts.fileAnswers.push_back(out);
    ui().toFileButton->click();
    EXPECT_EQ(readFile(out), kFile + kLatinOneLine);
    EXPECT_TRUE(prompts.messages.empty());
    doubleClick(ui().navpointList, 2);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, kLatinOneDetails);
}

// A download that breaks off part way leaves the table and the list as they
// were, so "To File" writes what the list shows, never a partial download.
TEST_F(NavpointsDialogTest, BrokenDownloadChangesNothing) {
    sim::SimulatorOptions options;
    options.navpoints = 5;
    instrument->setState(sim::initialState(options));
    instrument->failReplies("c 3", sim::ReplyFault::Silent, -1);
    dialog->show();
    loadFile();
    ui().fromVantorButton->click();
    dialog->task().waitUntilDone();
    EXPECT_EQ(ui().statusText->text(), "Failure");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Transfer Error.");
    EXPECT_EQ(items(ui().navpointList), (QStringList{"A           ", "B           "}));
    EXPECT_EQ(table->count, 2);
    const std::string out = (dir / "after.dat").string();
    prompts.fileAnswers.push_back(out);
    ui().toFileButton->click();
    EXPECT_EQ(readFile(out), kFile);
    EXPECT_EQ(instrument->rate(), 4800);
}

TEST_F(NavpointsDialogTest, UploadOfMoreThan1500AsksFirst) {
    table->count = 1501;
    dialog->show();
    instrument->clearHistory();
    prompts.answers = {Answer::No};
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text,
              "The Vantor Series only holds 1500 Navpoints.\nNot all navpoints will be "
              "loaded.\nWould you like to continue?");
    EXPECT_EQ(lastMessage().caption, "Warning!!!");
    EXPECT_EQ(lastMessage().buttons, Buttons::YesNo);
    EXPECT_FALSE(dialog->task().running());
    EXPECT_TRUE(instrument->received().empty());
}

// "To Vantor" replaces what the instrument holds: it asks, and No sends nothing.
TEST_F(NavpointsDialogTest, UploadAsksBeforeReplacingTheInstrumentsNavpoints) {
    dialog->show();
    loadFile();
    instrument->clearHistory();
    prompts.answers = {Answer::No};
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text,
              "Replace the navpoints in the instrument with the 2 in the list?");
    EXPECT_EQ(lastMessage().owner, dialog.get());
    EXPECT_FALSE(dialog->task().running());
    EXPECT_TRUE(instrument->received().empty());
}

// "To File" gives a name without extension ".dat", and "From File" starts at
// what it saved; the list shows each navpoint's place as a tooltip.
TEST_F(NavpointsDialogTest, SavedFileIsFoundAgainAndNavpointsShowWhereTheyAre) {
    dialog->show();
    loadFile();
    EXPECT_EQ(ui().navpointList->item(1)->toolTip(), "47:30.1250N 008:15.0000E, 450 m");
    prompts.fileAnswers.push_back((dir / "saved").string());
    ui().toFileButton->click();
    const std::string saved = (dir / "saved.dat").string();
    EXPECT_EQ(readFile(saved), kFile);
    EXPECT_FALSE(fs::exists(dir / "saved"));
    ui().fromFileButton->click();  // cancelled
    EXPECT_EQ(prompts.fileChoices.back().initialFolder, saved);
}

TEST_F(NavpointsDialogTest, TaskPointsMoveUpAndDown) {
    dialog->show();
    loadFile();
    for (const char* name : {"A           ", "B           "}) {
        selectNavpoint(QString::fromLatin1(name));
        ui().addButton->click();
    }
    ui().taskList->setCurrentRow(1);
    ui().upButton->click();
    EXPECT_EQ(items(ui().taskList), (QStringList{"B           ", "A           "}));
    EXPECT_EQ(ui().taskList->currentRow(), 0);  // the point stays selected
    ui().upButton->click();                     // already first
    ui().downButton->click();
    ui().downButton->click();  // already last
    EXPECT_EQ(items(ui().taskList), (QStringList{"A           ", "B           "}));
    EXPECT_EQ(dialog->declaration().points[1].nameText(), "B           ");
}

TEST_F(NavpointsDialogTest, TaskIsBuiltDeclaredAndFetched) {
    dialog->show();
    loadFile();
    ui().addButton->click();  // nothing selected
    EXPECT_EQ(ui().taskList->count(), 0);
    selectNavpoint("B           ");
    ui().addButton->click();
    selectNavpoint("A           ");
    ui().addButton->click();
    ui().addButton->click();
    EXPECT_EQ(items(ui().taskList), (QStringList{"B           ", "A           ", "A           "}));
    ui().taskList->setCurrentRow(0);
    ui().deleteButton->click();
    EXPECT_EQ(items(ui().taskList), (QStringList{"A           ", "A           "}));

    ui().taskToVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Declaration sent.");
    EXPECT_EQ(lastMessage().owner, dialog.get());

    // The command line reads back what the dialog declared.
    std::string printed;
    const std::string command =
        std::string(VANTORCTL_PATH) + " --port " + instrument->devicePath() + " task get";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) printed += buffer;
        EXPECT_EQ(::pclose(pipe), 0);
    }
    EXPECT_EQ(printed, "A,46:00.0000S,007:00.5000W\nA,46:00.0000S,007:00.5000W\n");

    // Opening again starts an empty task; the navpoints stay.
    dialog->hide();
    dialog->show();
    EXPECT_EQ(ui().taskList->count(), 0);
    EXPECT_EQ(ui().navpointList->count(), 2);

    ui().taskFromVantorButton->click();
    EXPECT_EQ(items(ui().taskList), (QStringList{"A           ", "A           "}));
    doubleClick(ui().taskList, 1);
    EXPECT_EQ(lastMessage().text, "A           \n46:00.0000S\n007:00.5000W");
    EXPECT_EQ(lastMessage().caption, "Declaration");
}

TEST_F(NavpointsDialogTest, HiddenButtonSendsTheSelectedNavpointAsASentence) {
    dialog->show();
    loadFile();
    ui().dudeButton->click();
    EXPECT_EQ(lastMessage().text, "That sucks");
    EXPECT_EQ(lastMessage().caption, "Nothing Selected");

    selectNavpoint("B           ");
    instrument->clearHistory();
    ui().dudeButton->click();
    const std::string body = "!n,0,4730.1250N,00815.0000E,450,7,3,B           ,GRASS       ";
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < body.size(); ++i) x ^= static_cast<std::uint8_t>(body[i]);
    char sum[8];
    std::snprintf(sum, sizeof sum, "*%02X\n", x);
    EXPECT_TRUE(eventually([&] { return instrument->received() == body + sum; }));

    dialog->setPortName("/nonexistent/tty");
    ui().dudeButton->click();
    EXPECT_EQ(lastMessage().text, "No Com");
}

TEST(NavpointsDialogInMain, OpensFromTheMainDialogWithThePort) {
    writeSettings({{"COMPORT", "3"}});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    QDialog* opened = nullptr;
    main.runModal = [&](QDialog& d) {
        opened = &d;
        d.show();
        d.reject();
    };
    main.ui().navpointsButton->click();
    EXPECT_EQ(opened, &main.navpointsDialog());
    EXPECT_EQ(main.navpointsDialog().portName(), "COM3:");
}

}  // namespace
}  // namespace vantor::test
