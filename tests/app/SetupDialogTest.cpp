#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <functional>

#include "GuiTestSupport.h"
#include "RecordingPrompts.h"
#include "Simulator.h"
#include "app/SetupDialog.h"
#include "link/CommTrace.h"
#include "link/RateMemory.h"
#include "link/SerialPort.h"
#include "ui/BackgroundTask.h"
#include "ui_SetupDialog.h"

namespace vantor::test {
namespace {

void leave(QLineEdit* edit) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

struct Shown {
    QRadioButton* checked;
    bool otherEnabled;
    QString otherText;
    QString minutesText;
};

Shown shown(SetupDialog& d) {
    auto& ui = d.ui();
    QRadioButton* checked = nullptr;
    for (QRadioButton* r :
         {ui.com1Radio, ui.com2Radio, ui.com3Radio, ui.com4Radio, ui.otherRadio}) {
        if (r->isChecked()) checked = r;
    }
    return {checked, ui.otherEdit->isEnabled(), ui.otherEdit->text(), ui.minTimeEdit->text()};
}

const StoredSettings kDefaults{{"COMPORT", "1"}, {"MIN_FLIGHT_LOG_TIME", "5"}};
const StoredSettings kPort9{{"COMPORT", "9"}, {"MIN_FLIGHT_LOG_TIME", "12"}};

TEST(SetupDialog, OpeningFromWhatIsStored) {
    struct Case {
        const char* what;
        StoredSettings stored;
        std::string portName;
        QString otherText;
        bool other;
        QString minutes;
        StoredSettings storedAfter;  // empty: unchanged
    } cases[] = {
        {"first run writes the defaults", {}, "COM1:", "1", false, "5", kDefaults},
        {"missing minutes read as 5, nothing written",
         {{"COMPORT", "2"}},
         "COM2:",
         "2",
         false,
         "5",
         {}},
        {"port 9 is Other",
         {{"COMPORT", "9"}, {"MIN_FLIGHT_LOG_TIME", "12"}},
         "COM9:",
         "9",
         true,
         "12",
         {}},
        {"a stored 100 is shown",
         {{"COMPORT", "3"}, {"MIN_FLIGHT_LOG_TIME", "100"}},
         "COM3:",
         "3",
         false,
         "100",
         {}},
        {"not a number counts as missing",
         {{"COMPORT", "abc"}, {"MIN_FLIGHT_LOG_TIME", "7"}},
         "COM1:",
         "1",
         false,
         "5",
         kDefaults},
        {"beyond 32 bits counts as missing",
         {{"COMPORT", "99999999999"}},
         "COM1:",
         "1",
         false,
         "5",
         kDefaults},
        {"port 0 is Other",
         {{"COMPORT", "0"}, {"MIN_FLIGHT_LOG_TIME", "5"}},
         "COM0:",
         "0",
         true,
         "5",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeSettings(c.stored);
        RecordingPrompts prompts;
        SetupDialog d(prompts);
        d.initialise();
        EXPECT_EQ(d.portName(), c.portName);
        const Shown s = shown(d);
        EXPECT_EQ(s.checked == d.ui().otherRadio, c.other);
        EXPECT_EQ(s.otherEnabled, c.other);
        EXPECT_EQ(s.otherText, c.otherText);
        EXPECT_EQ(s.minutesText, c.minutes);
        EXPECT_EQ(readSettings(), c.storedAfter.empty() ? c.stored : c.storedAfter);
        EXPECT_TRUE(prompts.messages.empty());
    }
}

TEST(SetupDialog, EditingAndCommitting) {
    struct Case {
        const char* what;
        std::function<void(SetupDialog&)> act;
        bool ok;  // OK pressed, else Cancel
        std::int32_t port;
        std::uint32_t minutes;
    } cases[] = {
        {"Com 4 and one up",
         [](SetupDialog& d) {
             d.ui().com4Radio->click();
             d.ui().minTimeUpDown->upArrow()->click();
         },
         true, 4, 13},
        {"typing 3 as Other moves the check",
         [](SetupDialog& d) {
             d.ui().otherRadio->click();
             d.ui().otherEdit->setText("3");
             leave(d.ui().otherEdit);
             EXPECT_TRUE(d.ui().com3Radio->isChecked());
             EXPECT_FALSE(d.ui().otherEdit->isEnabled());
         },
         true, 3, 12},
        {"Other then OK keeps the port",
         [](SetupDialog& d) {
             d.ui().otherRadio->click();
             d.ui().otherEdit->setText("17");
         },
         true, 9, 12},
        {"Other 17 once the box is left",
         [](SetupDialog& d) {
             d.ui().otherRadio->click();
             d.ui().otherEdit->setText("17");
             leave(d.ui().otherEdit);
         },
         true, 17, 12},
        {"typed minutes are taken", [](SetupDialog& d) { d.ui().minTimeEdit->setText("25"); }, true,
         9, 25},
        {"the arrows step from typed minutes",
         [](SetupDialog& d) {
             d.ui().minTimeEdit->setText("7");
             d.ui().minTimeUpDown->upArrow()->click();
         },
         true, 9, 8},
        {"Cancel commits nothing",
         [](SetupDialog& d) {
             d.ui().com2Radio->click();
             d.ui().minTimeUpDown->downArrow()->click();
         },
         false, 9, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeSettings(kPort9);
        RecordingPrompts prompts;
        SetupDialog d(prompts);
        d.show();
        c.act(d);
        if (c.ok) {
            d.ui().okButton->click();
        } else {
            d.ui().cancelButton->click();
        }
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.settings().comPort, c.port);
        EXPECT_EQ(d.portName(), portNameFor(c.port));
        EXPECT_EQ(d.minFlightLogTime(), c.minutes);
        d.show();  // the next opening reads what was stored
        EXPECT_EQ(d.pendingComPort(), c.port);
        EXPECT_EQ(d.ui().minTimeEdit->text(), QString::number(c.minutes));
        d.hide();
    }
}

// A typed time outside 0..30, or none, keeps the dialog open with nothing
// committed; a stored time outside the range is kept when left alone.
TEST(SetupDialog, TypedMinutesAreValidatedBeforeAnythingIsCommitted) {
    struct Case {
        const char* stored;
        const char* typed;
        const char* message;  // empty: accepted
        std::uint32_t minutes;
    } cases[] = {
        {"12", "31", "Please enter an integer between 0 and 30.", 12},
        {"12", "", "Please enter a positive integer.", 12},
        {"12", "0", "", 0},
        {"12", "30", "", 30},
        {"100", "100", "", 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        writeSettings({{"COMPORT", "9"}, {"MIN_FLIGHT_LOG_TIME", c.stored}});
        RecordingPrompts prompts;
        SetupDialog d(prompts);
        d.show();
        d.ui().com2Radio->click();
        d.ui().minTimeEdit->setText(QString::fromLatin1(c.typed));
        d.ui().okButton->click();
        if (*c.message) {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text, c.message);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.settings().comPort, 9);  // nothing committed
            EXPECT_EQ(readSettings().at("MIN_FLIGHT_LOG_TIME"), c.stored);
        } else {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_FALSE(d.isVisible());
            EXPECT_EQ(d.settings().comPort, 2);
        }
        EXPECT_EQ(d.minFlightLogTime(), c.minutes);
        d.hide();
    }
}

TEST(SetupDialog, ArrowsStepWithinZeroToThirty) {
    struct Case {
        std::uint32_t stored;
        bool up;
        const char* after;
    } cases[] = {
        {0, false, "0"},   {0, true, "1"},     {30, true, "30"}, {30, false, "29"},
        {100, true, "30"}, {100, false, "30"}, {5, false, "4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        writeSettings({{"COMPORT", "1"}, {"MIN_FLIGHT_LOG_TIME", std::to_string(c.stored)}});
        RecordingPrompts prompts;
        SetupDialog d(prompts);
        d.initialise();
        QToolButton* arrow =
            c.up ? d.ui().minTimeUpDown->upArrow() : d.ui().minTimeUpDown->downArrow();
        arrow->click();
        EXPECT_EQ(d.ui().minTimeEdit->text(), c.after);
    }
}

TEST(SetupDialog, PortNumberThatIsNoNumberIsRefused) {
    writeSettings({{"COMPORT", "9"}, {"MIN_FLIGHT_LOG_TIME", "5"}});
    RecordingPrompts prompts;
    SetupDialog d(prompts);
    d.show();
    d.ui().otherEdit->setText("");
    leave(d.ui().otherEdit);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Please enter a positive integer.");
    EXPECT_EQ(prompts.messages[0].caption, "");  // the application's name
    EXPECT_EQ(d.pendingComPort(), 9);

    d.ui().okButton->click();  // the settings are saved, the dialog stays open
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_TRUE(d.isVisible());
    d.ui().otherEdit->setText("4294967296");
    d.ui().okButton->click();
    EXPECT_TRUE(d.isVisible());
    d.ui().otherEdit->setText("9");
    d.ui().okButton->click();
    EXPECT_FALSE(d.isVisible());
}

TEST(SetupDialog, PortChoicesShowTheirDevices) {
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM2", "/dev/ttyUSB0"}});
    RecordingPrompts prompts;
    SetupDialog d(prompts);
    d.initialise();
    EXPECT_EQ(d.ui().com1Radio->toolTip(), "/dev/ttyS0");
    EXPECT_EQ(d.ui().com2Radio->toolTip(), "/dev/ttyUSB0");
    EXPECT_EQ(resolvePortName("COM2:", portMap()), "/dev/ttyUSB0");  // the link resolves alike
    setPortMap({});
}

// The rates the links remembered outlive the run, per port, next to the
// other settings; what is no searched rate is never taken back.
TEST(AppSettings, LinkRatesAreKeptPerPortBetweenRuns) {
    writeSettings({{"COMPORT", "2"}, {"LinkRates/COM2%3A", "9600"}, {"LinkRates/COM3%3A", "fast"}});
    forgetRememberedRates();
    rememberRate("COM1:", 57600);
    rememberRate("/dev/pts/7", 19200);  // a path: its slashes must not make groups
    ASSERT_TRUE(AppSettings::saveLinkRates());
    const StoredSettings stored = readSettings();
    EXPECT_EQ(stored.at("COMPORT"), "2");
    EXPECT_EQ(stored.count("LinkRates/COM2%3A"), 0u);  // saving writes what is remembered now
    EXPECT_EQ(stored.size(), 3u);

    forgetRememberedRates();
    AppSettings::loadLinkRates();
    EXPECT_EQ(rememberedRates(), (RateMemoryMap{{"COM1:", 57600}, {"/dev/pts/7", 19200}}));

    writeSettings({{"LinkRates/COM2%3A", "9600"},
                   {"LinkRates/COM3%3A", "fast"},
                   {"LinkRates/COM4%3A", "4800"}});
    AppSettings::loadLinkRates();
    EXPECT_EQ(rememberedRates(), (RateMemoryMap{{"COM4:", 4800}}));
    forgetRememberedRates();
}

// The ports present are offered beside the COM choices; a port from the
// list is stored in a value of its own and the COM choice stays as it was.
TEST(SetupDialog, PortsOnThisComputerAreOffered) {
    writeSettings(kDefaults);
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008abc-if00-port0";
    RecordingPrompts prompts;
    SetupDialog d(prompts);
    d.setPortSource([&] {
        return std::vector<SerialPortInfo>{{byId, "/dev/ttyUSB0", "FTDI FT232R USB UART"},
                                           {"/dev/ttyACM0", "/dev/ttyACM0", "USB modem (CDC ACM)"},
                                           {"COM7:", "COM7", "USB Serial Port (COM7)"}};
    });
    d.show();
    auto& ui = d.ui();
    ASSERT_EQ(ui.portList->count(), 3);
    EXPECT_EQ(ui.portList->itemText(0), "FTDI FT232R USB UART (ttyUSB0)");
    EXPECT_EQ(ui.portList->itemText(1), "USB modem (CDC ACM) (ttyACM0)");
    EXPECT_EQ(ui.portList->itemText(2), "USB Serial Port (COM7)");  // names its device already
    EXPECT_EQ(ui.portList->currentIndex(), -1);
    EXPECT_EQ(shown(d).checked, ui.com1Radio);

    emit ui.portList->activated(0);
    EXPECT_EQ(shown(d).checked, nullptr);  // no COM choice any more
    EXPECT_FALSE(ui.otherEdit->isEnabled());
    ui.okButton->click();
    EXPECT_EQ(d.portName(), byId);
    StoredSettings expected = kDefaults;
    expected["PortDevice"] = byId;
    EXPECT_EQ(readSettings(), expected);

    // Opened again with the adapter unplugged: still chosen, and said so.
    d.setPortSource([] { return std::vector<SerialPortInfo>{}; });
    d.hide();
    d.show();
    ASSERT_EQ(ui.portList->count(), 1);
    EXPECT_EQ(ui.portList->currentText(),
              "usb-FTDI_FT232R_USB_UART_A6008abc-if00-port0 (not connected)");
    EXPECT_EQ(shown(d).checked, nullptr);

    // A COM choice again: the device choice is gone, COMPORT as before.
    ui.com2Radio->click();
    EXPECT_EQ(ui.portList->currentIndex(), -1);
    ui.okButton->click();
    EXPECT_EQ(d.portName(), "COM2:");
    EXPECT_EQ(readSettings(), (StoredSettings{{"COMPORT", "2"}, {"MIN_FLIGHT_LOG_TIME", "5"}}));
}

// The communication log goes to the data folder while the box is ticked;
// the plug-in option is kept, and its wrapped label ticks it too.
TEST(SetupDialog, CommunicationLogAndPlugInOption) {
    writeSettings(kDefaults);
    QTemporaryDir data;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    RecordingPrompts prompts;
    SetupDialog d(prompts);
    d.show();
    auto& ui = d.ui();
    EXPECT_EQ(ui.commLogCheck->text(), "Keep a communication log");
    EXPECT_EQ(ui.plugInLabel->text(), "Download new flights when the instrument is plugged in");
    EXPECT_FALSE(commTraceActive());
    ui.commLogCheck->click();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(ui.plugInLabel, &press);
    QApplication::sendEvent(ui.plugInLabel, &release);
    EXPECT_TRUE(ui.plugInCheck->isChecked());
    ui.okButton->click();
    EXPECT_TRUE(commTraceActive());
    StoredSettings expected = kDefaults;
    expected["CommLog"] = "true";
    expected["DownloadWhenPluggedIn"] = "true";
    EXPECT_EQ(readSettings(), expected);
    EXPECT_TRUE(d.settings().downloadWhenPluggedIn);

    // The trace is in the data folder and writes what the line does.
    {
        SerialPort port;
        port.open("/dev/vantor-no-such-device", 4800, 10);
    }
    d.hide();
    d.show();
    EXPECT_TRUE(ui.commLogCheck->isChecked());
    ui.commLogCheck->click();
    ui.okButton->click();
    EXPECT_FALSE(commTraceActive());
    const QDir folder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    const QStringList traces = folder.entryList({QStringLiteral("vantor-comm-*.log")});
    ASSERT_EQ(traces.size(), 1) << folder.path().toStdString();
    QFile trace(folder.filePath(traces.front()));
    ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
    EXPECT_TRUE(trace.readAll().contains(
        " 4800 open /dev/vantor-no-such-device /dev/vantor-no-such-device failed: No such file"));
    qputenv("XDG_DATA_HOME", oldData);
}

// "Find Instrument" probes the listed ports on a worker and selects the
// first where the instrument answers, passing over one that will not open.
TEST(SetupDialog, FindInstrumentSelectsThePortThatAnswers) {
    writeSettings(kDefaults);
    sim::SimulatorOptions options;
    options.baud = 19200;
    sim::Simulator instrument(options);
    ASSERT_TRUE(instrument.start());
    RecordingPrompts prompts;
    SetupDialog d(prompts);
    d.setPortSource([&] {
        return std::vector<SerialPortInfo>{
            {"/dev/vantor-no-such-device", "/dev/vantor-no-such-device", "USB serial adapter"},
            {instrument.devicePath(), instrument.devicePath(), "simulated instrument"}};
    });
    d.show();
    d.ui().findButton->click();
    d.findTask().waitUntilDone();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(d.pendingDevice(), instrument.devicePath());
    EXPECT_EQ(d.ui().portList->currentIndex(), 1);
    d.ui().okButton->click();
    EXPECT_EQ(d.portName(), instrument.devicePath());

    // Nowhere an answer: the box says so, with why a port was passed over.
    writeSettings(kDefaults);
    d.setPortSource([] {
        return std::vector<SerialPortInfo>{
            {"/dev/vantor-no-such-device", "/dev/vantor-no-such-device", "USB serial adapter"}};
    });
    d.hide();
    d.show();
    d.ui().findButton->click();
    d.findTask().waitUntilDone();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Find Instrument");
    EXPECT_EQ(prompts.messages[0].text,
              "The instrument answered on none of the ports.\n\n/dev/vantor-no-such-device: There "
              "is no device /dev/vantor-no-such-device. Plug in the instrument's cable, or choose "
              "another port.");
    writeSettings({});
}

}  // namespace
}  // namespace vantor::test
