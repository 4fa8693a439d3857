#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

#include "GuiTestSupport.h"
#include "RecordingPrompts.h"
#include "Simulator.h"
#include "app/MainDialog.h"
#include "link/IdentityMemory.h"
#include "link/SerialPort.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui/QtPrompts.h"
#include "ui_MainDialog.h"
#include "ui_SetupDialog.h"

namespace vantor::test {
namespace {

TEST(MainDialog, SetupOpensAgainWithItsDataAndSettingsAreHandedOn) {
    writeSettings({});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    EXPECT_EQ(main.portName(), "COM1:");
    EXPECT_EQ(main.windowTitle(), "Vantor Series Utility");

    int shown = 0;
    main.runModal = [&](QDialog& d) {
        ASSERT_EQ(&d, &main.setupDialog());
        d.show();
        ++shown;
        auto& ui = main.setupDialog().ui();
        if (shown == 1) {
            ui.com3Radio->click();
            ui.okButton->click();
        } else {
            EXPECT_TRUE(ui.com3Radio->isChecked());  // what the last closing left
            ui.com2Radio->click();
            ui.cancelButton->click();
        }
    };
    main.ui().setupButton->click();
    EXPECT_EQ(main.portName(), "COM3:");
    main.ui().setupButton->click();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(main.portName(), "COM3:");  // handed on again after Cancel too
}

TEST(MainDialog, TransferFlightLogsOpensTheLogsDialogWithTheSettings) {
    writeSettings(
        {{"COMPORT", "2"}, {"MIN_FLIGHT_LOG_TIME", "7"}, {"PortMap/COM2", "/nonexistent/tty"}});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    std::vector<QDialog*> opened;
    main.runModal = [&](QDialog& d) {
        opened.push_back(&d);
        d.show();
        d.reject();
    };
    main.ui().transferLogsButton->click();
    main.ui().transferLogsButton->click();
    EXPECT_EQ(opened, (std::vector<QDialog*>{&main.logsDialog(), &main.logsDialog()}));
    EXPECT_EQ(main.logsDialog().minLogSeconds(), 7 * 60);
    ASSERT_EQ(prompts.messages.size(), 2u);  // each opening reads the directory
    EXPECT_EQ(prompts.messages[0].caption, "Can't open comm port");
    setPortMap({});
}

// Below the buttons: the port, and once the instrument answered, what it is.
TEST(MainDialog, ShowsThePortAndTheInstrumentThatAnswered) {
    forgetRememberedIdentities();
    sim::Simulator instrument;
    ASSERT_TRUE(instrument.start());
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", instrument.devicePath()}});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    const QString port =
        QStringLiteral("Port: COM1: (%1)").arg(QString::fromStdString(instrument.devicePath()));
    EXPECT_EQ(main.ui().instrumentText->text(), port);
    main.runModal = [](QDialog& d) {
        d.show();
        d.reject();
    };
    main.ui().transferLogsButton->click();  // reads the identity with the directory
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(main.ui().instrumentText->text(),
              port + QStringLiteral("\nSerial number A1B, firmware 2.4"));
    setPortMap({});
    forgetRememberedIdentities();
}

// Each dialog opens at its template size, wide enough for its caption, and
// grows: lists take the growth, buttons keep their size, nothing leaves it.
TEST(DialogLayout, EveryDialogGrowsFromItsTemplateSize) {
    sim::Simulator instrument;
    ASSERT_TRUE(instrument.start());
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", instrument.devicePath()}});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    for (QDialog* dialog : std::initializer_list<QDialog*>{
             &main, &main.setupDialog(), &main.logsDialog(), &main.navpointsDialog(),
             &main.gliderDialog(), &main.pilotNameDialog(), &main.unitsDialog(),
             &main.configureDialog()}) {
        SCOPED_TRACE(dialog->windowTitle().toStdString());
        dialog->show();
        QApplication::processEvents();
        EXPECT_EQ(dialog->size(), dialog->minimumSize());
        EXPECT_GE(dialog->minimumWidth(), GrowingLayout::captionWidth(dialog));
        std::map<QWidget*, QSize> before;
        for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            before[w] = w->size();
        }
        dialog->resize(dialog->size() + QSize(200, 150));
        QApplication::processEvents();
        const QRect inside(QPoint(0, 0), dialog->size());
        for (const auto& [w, size] : before) {
            if (w->isWindow()) continue;
            SCOPED_TRACE(w->objectName().toStdString());
            EXPECT_TRUE(inside.contains(w->geometry()));
            if (qobject_cast<QListWidget*>(w)) {
                EXPECT_EQ(w->height(), size.height() + 150);
                EXPECT_GE(w->width(), size.width() + 100);
            } else if (qobject_cast<QPushButton*>(w)) {
                EXPECT_EQ(w->size(), size);
            }
        }
        dialog->hide();
    }
    setPortMap({});
}

TEST(MainDialog, ClosingLeavesNoPortOpen) {
    sim::Simulator instrument;
    ASSERT_TRUE(instrument.start());
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", instrument.devicePath()}});
    {
        RecordingPrompts prompts;
        MainDialog main(prompts);
        main.runModal = [](QDialog& d) {
            d.show();
            d.reject();
        };
        main.show();
        main.ui().setupButton->click();
        main.reject();
    }
    SerialPort port;
    EXPECT_TRUE(port.open("COM1:", 4800, 10));
    setPortMap({});
}

TEST(DialogLayout, EveryTextIsWholeAndInsideItsDialog) {
    writeSettings({});
    RecordingPrompts prompts;
    MainDialog main(prompts);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&main, &main.setupDialog()}) {
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
    // The buttons keep the template's places: one column, top to bottom.
    const auto& ui = main.ui();
    EXPECT_LT(ui.transferLogsButton->y(), ui.pilotNameButton->y());
    EXPECT_LT(ui.configureButton->y(), ui.setupButton->y());
    EXPECT_EQ(ui.transferLogsButton->x(), ui.setupButton->x());
    EXPECT_EQ(ui.navpointsButton->text(), "Transfer Navpoints &&Tasks");  // shows one "&"
}

TEST(DialogUnits, ConvertLikeTheDialogManager) {
    QFont font = QApplication::font();
    const DialogBaseUnits base = dialogBaseUnits(font);
    EXPECT_GT(base.x, 3);
    EXPECT_GT(base.y, 8);
    QDialog d;
    d.resize(135, 156);
    auto* label = new QLabel(QStringLiteral("x"), &d);
    label->setGeometry(20, 16, 40, 8);
    applyDialogUnits(&d);
    EXPECT_EQ(label->x(), (20 * base.x + 2) / 4);
    EXPECT_EQ(label->y(), (16 * base.y + 4) / 8);
    EXPECT_EQ(d.width(), (135 * base.x + 2) / 4);
    EXPECT_EQ(d.height(), (156 * base.y + 4) / 8);
}

TEST(FileFilters, ProgramFiltersBecomeQtFilters) {
    EXPECT_EQ(qtNameFilters("IGC Flight Log Files (*.igc)|*.igc||"),
              QStringList{"IGC Flight Log Files (*.igc)"});
    EXPECT_EQ(qtNameFilters("Navpoint Files|*.dat;*.txt|All Files (*.*)|*.*||"),
              (QStringList{"Navpoint Files (*.dat *.txt)", "All Files (*.*)"}));
    EXPECT_TRUE(qtNameFilters("").isEmpty());
    EXPECT_EQ(qtNameFilters("Broken|"), QStringList{});
    EXPECT_EQ(initialFolder("\\My Documents\\"),
              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));

    // Once a folder was used, dialogs that would start in the documents
    // folder, or in none, start there; a folder of their own is kept.
    QtPrompts prompts;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(prompts.startFolder(""), documents);
    prompts.setLastFolder("/tmp/flights");
    EXPECT_EQ(prompts.startFolder(""), "/tmp/flights");
    EXPECT_EQ(prompts.startFolder("\\My Documents\\"), "/tmp/flights");
    EXPECT_EQ(prompts.startFolder("/srv/logs"), "/srv/logs");
}

// With the plug-in option set, a port that appears while the main dialog is
// open brings the flights not yet in the download folder home, in one
// connection, and one box says what was saved; a port without the
// instrument does nothing.
TEST(MainDialog, PluggingInTheInstrumentDownloadsTheNewFlights) {
    writeSettings({{"COMPORT", "1"}, {"DownloadWhenPluggedIn", "true"}});
    sim::SimulatorOptions options;
    options.logs = 2;
    sim::Simulator instrument(options);
    ASSERT_TRUE(instrument.start());
    QTemporaryDir folder;
    RecordingPrompts prompts;
    MainDialog main(prompts);
    ASSERT_TRUE(main.watchingPorts());
    std::vector<std::string> present;
    main.setPortNames([&] { return present; });
    main.checkForNewPorts();  // the machine's own ports are gone from the list: no news
    main.logsDialog().setDownloadFolder(folder.path().toStdString());
    main.show();

    present = {"/dev/vantor-no-such-device"};
    main.checkForNewPorts();
    main.logsDialog().task().waitUntilDone();
    EXPECT_TRUE(prompts.messages.empty());

    present = {"/dev/vantor-no-such-device", instrument.devicePath()};
    main.checkForNewPorts();
    main.logsDialog().task().waitUntilDone();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Download New");
    EXPECT_EQ(prompts.messages[0].text.rfind(
                  "Saved 2 of 2 flight logs in\n" + folder.path().toStdString() + ".", 0),
              0u)
        << prompts.messages[0].text;
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);

    main.checkForNewPorts();  // still there: not new
    main.logsDialog().task().waitUntilDone();
    EXPECT_EQ(prompts.messages.size(), 1u);

    writeSettings({{"COMPORT", "1"}});
    main.setupDialog().initialise();
    main.distributeSettings();
    EXPECT_FALSE(main.watchingPorts());
    writeSettings({});
}

}  // namespace
}  // namespace vantor::test
