#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "../app/GuiTestSupport.h"
#include "RecordingPrompts.h"
#include "Simulator.h"
#include "app/MainDialog.h"
#include "config/ConfigureInstrumentDialog.h"
#include "config/UnitsDialog.h"
#include "link/PortName.h"
#include "records/PilotPreferences.h"
#include "ui/DialogUnits.h"
#include "ui/UpDownControl.h"
#include "ui_ConfigureInstrumentDialog.h"
#include "ui_MainDialog.h"
#include "ui_UnitsDialog.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}
std::string text(const QLabel* label) {
    return label->text().toStdString();
}
std::uint16_t word(const std::vector<std::uint8_t>& block, std::size_t at) {
    return static_cast<std::uint16_t>(block[at] << 8 | block[at + 1]);
}
void up(UpDownControl* control, int times = 1) {
    for (int i = 0; i < times; ++i) control->upArrow()->click();
}
void down(UpDownControl* control, int times = 1) {
    for (int i = 0; i < times; ++i) control->downArrow()->click();
}

class ConfigDialogsTest : public ::testing::Test {
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

// ---------------------------------------------------------------- units

class UnitsDialogTest : public ConfigDialogsTest {
protected:
    void SetUp() override {
        ConfigDialogsTest::SetUp();
        dialog = std::make_unique<UnitsDialog>(prompts);
        dialog->receiveSettings(device(), 0);
    }
    Ui::UnitsDialog& ui() { return dialog->ui(); }
    // The checked buttons, by text, in the order of the groups.
    std::vector<std::string> checked() {
        std::vector<std::string> out;
        for (QRadioButton* r :
             {ui().metersRadio, ui().feetRadio, ui().metersPerSecondRadio, ui().varioKnotsRadio,
              ui().millibarsRadio, ui().inchesRadio, ui().celsiusRadio, ui().fahrenheitRadio,
              ui().kilometresRadio, ui().nauticalMilesRadio, ui().statuteMilesRadio, ui().kphRadio,
              ui().speedKnotsRadio, ui().mphRadio}) {
            if (r->isChecked()) out.push_back(r->text().toStdString());
        }
        return out;
    }

    std::unique_ptr<UnitsDialog> dialog;
};

TEST_F(UnitsDialogTest, DefaultRecordAndTheDistanceButtonsKeepTheOtherBits) {
    dialog->show();
    EXPECT_EQ(checked(),
              (std::vector<std::string>{"Feet", "Knots", "In. HG", "F", "NMI", "Knots"}));
    EXPECT_FALSE(ui().mphRadio->isVisible());
    EXPECT_FALSE(ui().mphRadio->isEnabled());

    const struct {
        QRadioButton* button;
        std::uint16_t flags;
    } clicks[] = {{ui().nauticalMilesRadio, 0xFF5F},  // already checked: clicking keeps it
                  {ui().kilometresRadio, 0xFF4F},
                  {ui().statuteMilesRadio, 0xFF6F},
                  {ui().nauticalMilesRadio, 0xFF5F},
                  {ui().metersRadio, 0xFF5D},
                  {ui().kphRadio, 0xFF1D}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.button->text().toStdString());
        c.button->click();
        EXPECT_EQ(dialog->preferences().unitFlags, c.flags);
        EXPECT_TRUE(c.button->isChecked());
    }
    EXPECT_EQ(checked(),
              (std::vector<std::string>{"Meters", "Knots", "In. HG", "F", "NMI", "Km/Hr"}));
}

TEST_F(UnitsDialogTest, HiddenMphAndCodesOfThree) {
    dialog->preferences().unitFlags = 0x00B4;  // mph, no distance unit, Fahrenheit, m/s
    dialog->show();
    EXPECT_TRUE(ui().mphRadio->isChecked());
    EXPECT_EQ(checked(), (std::vector<std::string>{"Meters", "M/S", "mBARS", "F", "MPH"}));
    ui().speedKnotsRadio->click();
    EXPECT_EQ(dialog->preferences().unitFlags, 0x0074);
    EXPECT_FALSE(ui().mphRadio->isChecked());
    dialog->hide();

    dialog->preferences().unitFlags = 0xABFF;  // both two-bit codes 3
    dialog->show();
    EXPECT_EQ(checked(), (std::vector<std::string>{"Feet", "Knots", "In. HG", "F"}));
    ui().statuteMilesRadio->click();
    EXPECT_EQ(dialog->preferences().unitFlags, 0xABEF);
    EXPECT_EQ(checked(), (std::vector<std::string>{"Feet", "Knots", "In. HG", "F", "SMI"}));
}

TEST_F(UnitsDialogTest, SendCarriesTheTemperatureUnitAndFetchShowsTheInstruments) {
    dialog->show();
    ui().celsiusRadio->click();
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Pilot Preferences and Logging Interval Transferred");
    auto block = instrument->state().pilotPreferences;
    EXPECT_EQ(block[25], 1);  // celsiusFlag
    EXPECT_EQ(word(block, 44), 0xFF5B);

    ui().fahrenheitRadio->click();
    ui().toVantorButton->click();
    block = instrument->state().pilotPreferences;
    EXPECT_EQ(block[25], 0);
    EXPECT_EQ(word(block, 44), 0xFF5F);
    EXPECT_EQ(dialog->preferences().celsiusFlag, 0);

    auto state = instrument->state();
    state.pilotPreferences[44] = 0x00;
    state.pilotPreferences[45] = 0x12;  // m/s, feet, Celsius, millibars, NMI, km/h
    instrument->setState(state);
    ui().fromVantorButton->click();
    EXPECT_EQ(dialog->preferences().unitFlags, 0x0012);
    EXPECT_EQ(checked(), (std::vector<std::string>{"Feet", "M/S", "mBARS", "C", "NMI", "Km/Hr"}));
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(UnitsDialogTest, WithoutAVariometerOnlyAltitudeDistanceAndSpeedStayUsable) {
    dialog->instrumentType() = 1;
    dialog->show();
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui().metersPerSecondRadio, ui().varioKnotsRadio, ui().millibarsRadio, ui().inchesRadio,
             ui().celsiusRadio, ui().fahrenheitRadio, ui().varioGroup, ui().qnhGroup,
             ui().temperatureGroup}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui().metersRadio, ui().feetRadio, ui().kilometresRadio, ui().nauticalMilesRadio,
             ui().statuteMilesRadio, ui().kphRadio, ui().speedKnotsRadio, ui().toVantorButton,
             ui().fromVantorButton}) {
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
}

// ---------------------------------------------------------------- configure

class ConfigureDialogTest : public ConfigDialogsTest {
protected:
    void SetUp() override {
        ConfigDialogsTest::SetUp();
        dialog = std::make_unique<ConfigureInstrumentDialog>(prompts);
        dialog->receiveSettings(device(), 0);
    }
    Ui::ConfigureInstrumentDialog& ui() { return dialog->ui(); }
    PilotPreferences& record() { return dialog->preferences(); }

    std::unique_ptr<ConfigureInstrumentDialog> dialog;
};

TEST_F(ConfigureDialogTest, DefaultRecordShowsInKnotsNauticalMilesAndFeet) {
    dialog->show();
    EXPECT_EQ(text(ui().deadbandLabel), "STF Deadband (Knots)");
    EXPECT_EQ(text(ui().deadbandEdit), "20");
    EXPECT_EQ(text(ui().arrivalLabel), "Arrival Radius (NMI)");
    EXPECT_EQ(text(ui().arrivalEdit), "0.22");
    EXPECT_EQ(text(ui().approachLabel), "Approach Radius (NMI)");
    EXPECT_EQ(text(ui().approachEdit), "0.54");
    EXPECT_EQ(text(ui().goalLabel), "Goal Height (Feet)");
    EXPECT_EQ(text(ui().goalEdit), "980");
    EXPECT_EQ(text(ui().loggingIntervalEdit), "4");
    EXPECT_TRUE(ui().superNettoRadio->isChecked());
    EXPECT_FALSE(ui().nettoRadio->isChecked());
    EXPECT_FALSE(ui().totalEnergyRadio->isChecked());
    EXPECT_TRUE(ui().sinkToneCheck->isChecked());
    // Every value can be typed as well as stepped.
    for (QLineEdit* e : {ui().deadbandEdit, ui().loggingIntervalEdit, ui().arrivalEdit,
                         ui().approachEdit, ui().goalEdit}) {
        EXPECT_TRUE(e->isEnabled());
    }
    for (QWidget* w : std::initializer_list<QWidget*>{ui().overshootCheck, ui().halfRadio,
                                                      ui().oneRadio, ui().twoRadio}) {
        EXPECT_FALSE(w->isVisible());
    }
    EXPECT_EQ(record(), PilotPreferences());  // showing is no edit
}

TEST_F(ConfigureDialogTest, OneSpinRewritesEveryFieldFromItsShownValue) {
    dialog->show();
    up(ui().deadbandUpDown);
    EXPECT_EQ(text(ui().deadbandEdit), "21");
    down(ui().deadbandUpDown);
    EXPECT_EQ(text(ui().deadbandEdit), "20");
    EXPECT_EQ(record().stfDeadband, 103);  // 20 x 5.1478
    EXPECT_EQ(record().goalHeight, 2987);  // 98 x 30.48, truncated
    EXPECT_EQ(record().arrivalRadius, 408);
    EXPECT_EQ(record().approachRadius, 1001);
    dialog->hide();

    record() = PilotPreferences();
    record().unitFlags = 0xFF0D;  // km/h, km, metres
    dialog->show();
    EXPECT_EQ(text(ui().deadbandLabel), "STF Deadband (KPH)");
    EXPECT_EQ(text(ui().deadbandEdit), "37");
    EXPECT_EQ(text(ui().arrivalLabel), "Arrival Radius (KM)");
    EXPECT_EQ(text(ui().arrivalEdit), "0.40");
    EXPECT_EQ(text(ui().goalLabel), "Goal Height (Meters)");
    EXPECT_EQ(text(ui().goalEdit), "300");
    up(ui().goalUpDown);
    EXPECT_EQ(text(ui().goalEdit), "310");
    down(ui().goalUpDown);
    EXPECT_EQ(record().goalHeight, 3000);
    EXPECT_EQ(record().stfDeadband, 103);
    EXPECT_EQ(record().arrivalRadius, 400);
}

// A typed value is held to the bounds the arrows obey and converted as an
// arrow click converts it; anything else is refused with the box unchanged.
TEST_F(ConfigureDialogTest, TypedValuesObeyTheArrowsBoundsAndConversions) {
    struct Typed {
        QLineEdit* Ui::ConfigureInstrumentDialog::*edit;
        const char* typed;
        const char* shown;    // the box afterwards
        const char* message;  // empty: taken
    };
    using U = Ui::ConfigureInstrumentDialog;
    const Typed cases[] = {
        {&U::deadbandEdit, "25", "25", ""},
        {&U::deadbandEdit, "31", "20", "Please enter an integer between 0 and 30."},
        {&U::deadbandEdit, "2.5", "20", "Please enter an integer."},
        {&U::arrivalEdit, "1.5", "1.50", ""},
        {&U::arrivalEdit, ".05", "0.05", ""},
        {&U::arrivalEdit, "10", "0.22", "Please enter a number between 0.00 and 9.99."},
        {&U::arrivalEdit, "1.234", "0.22", "Please enter a number."},
        {&U::approachEdit, "9.99", "9.99", ""},
        {&U::goalEdit, "1234", "1230", ""},
        {&U::goalEdit, "10010", "980", "Please enter an integer between 0 and 10000."},
        {&U::loggingIntervalEdit, "15", "15", ""},
        {&U::loggingIntervalEdit, "0", "4", "Please enter an integer between 1 and 20."},
    };
    for (const Typed& c : cases) {
        SCOPED_TRACE(c.typed);
        record() = PilotPreferences();  // knots, NMI, feet
        prompts.messages.clear();
        dialog->show();
        QLineEdit* edit = ui().*c.edit;
        edit->setText(QString::fromLatin1(c.typed));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(text(edit), c.shown);
        if (*c.message) {
            ASSERT_EQ(prompts.messages.size(), 1u);
            EXPECT_EQ(prompts.messages[0].text, c.message);
            EXPECT_EQ(record(), PilotPreferences());
        } else if (c.edit == &U::loggingIntervalEdit) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(record().loggingInterval, 15);
        } else {
            EXPECT_TRUE(prompts.messages.empty());
            // The record holds what the arrows would have left for this value.
            const ShownValues& v = dialog->shown();
            EXPECT_EQ(record().stfDeadband, deadbandToRecord(v.deadband, 1));
            EXPECT_EQ(record().arrivalRadius, radiusToRecord(v.arrival, 1));
            EXPECT_EQ(record().approachRadius, radiusToRecord(v.approach, 1));
            EXPECT_EQ(record().goalHeight, goalToRecord(v.goal, true));
        }
        dialog->hide();
    }
    // The arrows step by 0.1 from a typed radius and come onto the tenths.
    record() = PilotPreferences();
    dialog->show();
    ui().arrivalEdit->setText(QStringLiteral("1.55"));
    up(ui().arrivalUpDown);
    EXPECT_EQ(text(ui().arrivalEdit), "1.60");
    up(ui().arrivalUpDown);
    down(ui().arrivalUpDown, 2);
    EXPECT_EQ(text(ui().arrivalEdit), "1.50");
    EXPECT_EQ(record().arrivalRadius, radiusToRecord(150, 1));

    // "To Vantor" sends what was typed, and refuses what is no value.
    prompts.messages.clear();
    ui().loggingIntervalEdit->setText(QStringLiteral("9"));
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Success");
    EXPECT_EQ(word(instrument->state().pilotPreferences, 34), 9);
    instrument->clearHistory();
    ui().goalEdit->setText(QStringLiteral("high"));
    ui().toVantorButton->click();
    EXPECT_EQ(prompts.messages.back().text, "Please enter an integer.");
    EXPECT_TRUE(instrument->received().empty());
}

TEST_F(ConfigureDialogTest, EverySpinStopsAtItsBounds) {
    struct Clamp {
        const char* name;
        std::uint16_t unitFlags;
        UpDownControl* Ui::ConfigureInstrumentDialog::*spin;
        QLineEdit* Ui::ConfigureInstrumentDialog::*edit;
        std::string top;
        std::string bottom;
        int clicks;
    };
    using U = Ui::ConfigureInstrumentDialog;
    const Clamp clamps[] = {
        {"interval", 0xFF5F, &U::loggingIntervalUpDown, &U::loggingIntervalEdit, "20", "1", 25},
        {"kph", 0xFF0D, &U::deadbandUpDown, &U::deadbandEdit, "50", "0", 60},
        {"knots", 0xFF5F, &U::deadbandUpDown, &U::deadbandEdit, "30", "0", 40},
        {"mph", 0xFF9F, &U::deadbandUpDown, &U::deadbandEdit, "30", "0", 40},
        {"arrival km", 0xFF0D, &U::arrivalUpDown, &U::arrivalEdit, "9.99", "0.00", 1000},
        {"approach smi", 0xFF2D, &U::approachUpDown, &U::approachEdit, "9.99", "0.00", 1000},
        {"goal metres", 0xFF0D, &U::goalUpDown, &U::goalEdit, "3500", "0", 360},
        {"goal feet", 0xFF5F, &U::goalUpDown, &U::goalEdit, "10000", "0", 1010},
    };
    for (const Clamp& c : clamps) {
        SCOPED_TRACE(c.name);
        record() = PilotPreferences();
        record().unitFlags = c.unitFlags;
        dialog->show();
        up(ui().*c.spin, c.clicks);
        EXPECT_EQ(text(ui().*c.edit), c.top);
        down(ui().*c.spin, 2 * c.clicks);
        EXPECT_EQ(text(ui().*c.edit), c.bottom);
        dialog->hide();
    }
    EXPECT_EQ(record().loggingInterval, 4);  // the last case spun the goal only
    EXPECT_EQ(record().goalHeight, 0);

    // The stored values at the top: 20 seconds, 50 km/h, 10000 ft.
    record() = PilotPreferences();
    record().unitFlags = 0xFF1F;  // km/h, NMI, feet
    dialog->show();
    up(ui().loggingIntervalUpDown, 30);
    up(ui().deadbandUpDown, 60);
    up(ui().goalUpDown, 1010);
    EXPECT_EQ(record().loggingInterval, 20);
    EXPECT_EQ(record().stfDeadband, 139);
    EXPECT_EQ(record().goalHeight, 30480);
}

TEST_F(ConfigureDialogTest, ValuesBeyondTheBoundsAreShownUntilTheFirstSpin) {
    auto state = instrument->state();
    state.pilotPreferences[42] = 255;  // 49.5 knots
    state.pilotPreferences[32] = 0xFF;
    state.pilotPreferences[33] = 0xFF;  // 65535 m, 35.37 NMI
    instrument->setState(state);
    dialog->show();
    ui().fromVantorButton->click();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(text(ui().deadbandEdit), "50");
    EXPECT_EQ(text(ui().arrivalEdit), "35.37");
    up(ui().goalUpDown);
    EXPECT_EQ(text(ui().deadbandEdit), "50");
    // The arrival radius comes back at the largest value it can hold.
    EXPECT_EQ(record().arrivalRadius, 65535);
    EXPECT_EQ(record().stfDeadband, 255);  // 50 x 5.1478 = 257.39 stops at 255
    down(ui().deadbandUpDown);
    EXPECT_EQ(text(ui().deadbandEdit), "30");
    EXPECT_EQ(record().stfDeadband, 154);
}

TEST_F(ConfigureDialogTest, ACodeOfThreeShowsTheTemplateLabelsAndKeepsShownValueAndField) {
    record().unitFlags = 0xFFFF;  // no speed and no distance unit
    record().stfDeadband = 77;
    dialog->show();
    EXPECT_EQ(text(ui().deadbandLabel), "STF Deadband (XXXX)");
    EXPECT_EQ(text(ui().arrivalLabel), "Arrival Radius (XXXX)");
    EXPECT_EQ(text(ui().deadbandEdit), "0");
    up(ui().deadbandUpDown, 60);
    EXPECT_EQ(text(ui().deadbandEdit), "50");  // the km/h bounds until a unit is known
    EXPECT_EQ(record().stfDeadband, 77);
    EXPECT_EQ(record().arrivalRadius, 400);
    dialog->hide();

    record().unitFlags = 0xFF5F;
    dialog->show();
    EXPECT_EQ(text(ui().deadbandLabel), "STF Deadband (Knots)");
    EXPECT_EQ(text(ui().approachLabel), "Approach Radius (NMI)");
    EXPECT_EQ(text(ui().deadbandEdit), "15");
    dialog->hide();

    // Codes of 3 again: the template's labels, not those of the last opening,
    // and the km/h and kilometre bounds, not the knots' 30.
    record().unitFlags = 0xFFFF;
    dialog->show();
    EXPECT_EQ(text(ui().deadbandLabel), "STF Deadband (XXXX)");
    EXPECT_EQ(text(ui().arrivalLabel), "Arrival Radius (XXXX)");
    EXPECT_EQ(text(ui().approachLabel), "Approach Radius (XXXX)");
    EXPECT_EQ(text(ui().deadbandEdit), "15");  // the value shown before stays
    up(ui().deadbandUpDown, 60);
    EXPECT_EQ(text(ui().deadbandEdit), "50");
    up(ui().arrivalUpDown, 1000);
    EXPECT_EQ(text(ui().arrivalEdit), "9.99");
    EXPECT_EQ(record().stfDeadband, 77);
    EXPECT_EQ(record().arrivalRadius, 400);
}

TEST_F(ConfigureDialogTest, VarioButtonsAndSinkToneEditTheirBits) {
    record().varioOptions = 0xE0;  // no choice, no mode, no overshoot; top bits carried
    dialog->show();
    EXPECT_FALSE(ui().nettoRadio->isChecked());
    EXPECT_FALSE(ui().superNettoRadio->isChecked());
    EXPECT_FALSE(ui().totalEnergyRadio->isChecked());

    const struct {
        QAbstractButton* button;
        std::uint8_t options;
    } clicks[] = {{ui().nettoRadio, 0xE4},      {ui().totalEnergyRadio, 0xE8},
                  {ui().superNettoRadio, 0xEC}, {ui().halfRadio, 0xED},
                  {ui().oneRadio, 0xEF},        {ui().twoRadio, 0xEE},
                  {ui().overshootCheck, 0xFE},  {ui().overshootCheck, 0xEE}};
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.button->text().toStdString());
        c.button->click();
        EXPECT_EQ(record().varioOptions, c.options);
        EXPECT_TRUE(c.button->isChecked() || c.button == ui().overshootCheck);
    }
    EXPECT_TRUE(ui().twoRadio->isChecked());
    EXPECT_FALSE(ui().oneRadio->isChecked());
    EXPECT_FALSE(ui().halfRadio->isChecked());
    EXPECT_TRUE(ui().superNettoRadio->isChecked());
    EXPECT_FALSE(ui().totalEnergyRadio->isChecked());

    ui().sinkToneCheck->click();
    EXPECT_EQ(record().sinkTone, 0);
    ui().sinkToneCheck->click();
    EXPECT_EQ(record().sinkTone, 1);
    dialog->hide();

    // A code of 0 shows no button checked, whatever the last opening showed.
    record().varioOptions = 0xE0;
    dialog->show();
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             ui().nettoRadio, ui().superNettoRadio, ui().totalEnergyRadio, ui().halfRadio,
             ui().oneRadio, ui().twoRadio}) {
        EXPECT_FALSE(b->isChecked()) << b->text().toStdString();
    }
    EXPECT_EQ(record().varioOptions, 0xE0);
}

TEST_F(ConfigureDialogTest, WithoutAVariometerTheRadiiAndIntervalStayUsable) {
    dialog->instrumentType() = 1;
    dialog->show();
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui().nettoRadio, ui().superNettoRadio, ui().totalEnergyRadio, ui().sinkToneCheck,
             ui().variometerGroup, ui().deadbandLabel, ui().deadbandUpDown, ui().deadbandEdit,
             ui().goalLabel, ui().goalUpDown, ui().goalEdit}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{ui().arrivalUpDown, ui().approachUpDown,
                                                      ui().loggingIntervalUpDown,
                                                      ui().fromVantorButton, ui().toVantorButton}) {
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    up(ui().loggingIntervalUpDown);
    EXPECT_EQ(record().loggingInterval, 5);
}

TEST_F(ConfigureDialogTest, FeetAndKnotsReachTheInstrumentAsRecordValues) {
    dialog->show();
    up(ui().deadbandUpDown);  // 21 knots
    up(ui().arrivalUpDown);   // 0.30 NMI: the arrows step by 0.1
    up(ui().goalUpDown);      // 990 ft
    up(ui().loggingIntervalUpDown, 2);
    ui().toVantorButton->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Success");
    const auto block = instrument->state().pilotPreferences;
    EXPECT_EQ(block[42], 108);         // 21 x 5.1478 = 108.1
    EXPECT_EQ(word(block, 32), 556);   // 30 x 18.53 = 555.9
    EXPECT_EQ(word(block, 30), 1001);  // 54 x 18.53 = 1000.62
    EXPECT_EQ(word(block, 48), 3017);  // 99 x 30.48 = 3017.52, truncated
    EXPECT_EQ(word(block, 34), 6);
    EXPECT_EQ(word(block, 44), 0xFF5F);

    // What comes back shows the same.
    dialog->hide();
    record() = PilotPreferences();
    dialog->show();
    ui().fromVantorButton->click();
    EXPECT_EQ(text(ui().deadbandEdit), "21");
    EXPECT_EQ(text(ui().arrivalEdit), "0.30");
    EXPECT_EQ(text(ui().goalEdit), "990");
    EXPECT_EQ(text(ui().loggingIntervalEdit), "6");
}

TEST_F(ConfigureDialogTest, PreferencesFilesKeepUnitsAndGoalHeight) {
    const fs::path dir = fs::temp_directory_path() / ("vantor-ppf-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "prefs.ppf").string();
    dialog->show();
    up(ui().loggingIntervalUpDown, 3);
    ui().nettoRadio->click();
    prompts.fileAnswers = {path, path};
    dialog->savePreferencesFile();
    ASSERT_EQ(prompts.fileChoices.size(), 1u);
    EXPECT_EQ(prompts.fileChoices[0].filter, "Pilot Preferences Files (*.ppf)|*.ppf||");

    record() = PilotPreferences();
    record().unitFlags = 0xFF0D;
    record().goalHeight = 1000;
    dialog->loadPreferencesFile();
    EXPECT_EQ(record().loggingInterval, 7);
    EXPECT_EQ(record().unitFlags, 0xFF0D);
    EXPECT_EQ(record().goalHeight, 1000);
    EXPECT_EQ(text(ui().loggingIntervalEdit), "7");
    EXPECT_TRUE(ui().nettoRadio->isChecked());
    EXPECT_EQ(text(ui().goalEdit), "100");
    EXPECT_TRUE(prompts.messages.empty());

    // A number the record cannot hold refuses the file; the record stays whole.
    ASSERT_TRUE(writeRecordFile(path, "o,Eve,1,1,1,0,0,100,1000,400,20,1,5,100,300,255,0,0"));
    const PilotPreferences before = record();
    prompts.fileAnswers = {path};
    dialog->loadPreferencesFile();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "The file was not loaded: it holds 300 where the instrument keeps only 0 to 255.");
    EXPECT_EQ(prompts.messages[0].caption, "Error");
    EXPECT_EQ(prompts.messages[0].owner, dialog.get());
    EXPECT_EQ(record(), before);
    EXPECT_EQ(text(ui().loggingIntervalEdit), "7");
    fs::remove_all(dir);
}

// ---------------------------------------------------------------- main dialog

TEST_F(ConfigDialogsTest, UnitsChosenInOneDialogAreSeenInTheOtherAndTheTypeReachesBoth) {
    auto state = instrument->state();
    state.instrumentType = 1;
    instrument->setState(state);
    writeSettings({{"COMPORT", "1"}, {"PortMap/COM1", device()}});
    MainDialog main(prompts);
    std::vector<std::string> seen;
    main.runModal = [&](QDialog& d) {
        d.show();
        if (&d == &main.unitsDialog()) {
            auto& ui = main.unitsDialog().ui();
            EXPECT_FALSE(ui.varioGroup->isEnabled());
            ui.kilometresRadio->click();
            ui.metersRadio->click();
        } else {
            ASSERT_EQ(&d, &main.configureDialog());
            auto& ui = main.configureDialog().ui();
            EXPECT_FALSE(ui.goalUpDown->isEnabled());
            seen = {text(ui.arrivalLabel), text(ui.arrivalEdit), text(ui.goalLabel),
                    text(ui.goalEdit)};
            up(ui.approachUpDown);
        }
        d.reject();  // closed without sending
    };
    main.ui().unitsButton->click();
    main.ui().configureButton->click();
    EXPECT_EQ(seen, (std::vector<std::string>{"Arrival Radius (KM)", "0.40", "Goal Height (Meters)",
                                              "300"}));
    EXPECT_EQ(main.pilotPreferences().unitFlags, 0xFF4D);
    EXPECT_EQ(main.pilotPreferences().approachRadius, 1100);  // 1.00 km up by 0.1
    EXPECT_EQ(main.instrumentType(), 1);
    EXPECT_TRUE(prompts.messages.empty());
    const auto lines = instrument->lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "o"), 1);
}

TEST_F(ConfigDialogsTest, DialogsShowEveryTextWhole) {
    UnitsDialog units(prompts);
    ConfigureInstrumentDialog configure(prompts);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&units, &configure}) {
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
    // A label widened for its text must not run under the value beside it.
    auto& ui = configure.ui();
    for (const auto& [label, edit] : {std::pair{ui.deadbandLabel, ui.deadbandEdit},
                                      {ui.loggingIntervalLabel, ui.loggingIntervalEdit},
                                      {ui.arrivalLabel, ui.arrivalEdit},
                                      {ui.approachLabel, ui.approachEdit},
                                      {ui.goalLabel, ui.goalEdit}}) {
        EXPECT_FALSE(label->geometry().intersects(edit->geometry())) << label->text().toStdString();
    }
    EXPECT_EQ(units.windowTitle(), "Units");
    EXPECT_EQ(configure.windowTitle(), "Configure Instrument");
}

}  // namespace
}  // namespace vantor::test
