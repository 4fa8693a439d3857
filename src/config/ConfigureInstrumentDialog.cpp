#include "config/ConfigureInstrumentDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <cstdio>

#include "link/InstrumentLink.h"
#include "records/PilotPreferencesTransfer.h"
#include "ui/DialogUnits.h"
#include "ui/QtPrompts.h"
#include "ui/UpDownControl.h"
#include "ui_ConfigureInstrumentDialog.h"

namespace vantor {

namespace {

// The parts of varioOptions; bits 5 to 7 are carried unchanged.
constexpr std::uint8_t kChoiceMask = 0x03;
constexpr std::uint8_t kModeMask = 0x0C;
constexpr std::uint8_t kOvershootBit = 0x10;

// The choice codes of the "0.5", "1" and "2" buttons, and the vario modes.
constexpr std::uint8_t kChoiceHalf = 1, kChoiceOne = 3, kChoiceTwo = 2;
constexpr std::uint8_t kModeNetto = 1, kModeTotalEnergy = 2, kModeSuperNetto = 3;

QString hundredths(std::int32_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", value / 100, value % 100);
    return QString::fromLatin1(text);
}

}  // namespace

ConfigureInstrumentDialog::ConfigureInstrumentDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), ui_(std::make_unique<Ui::ConfigureInstrumentDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    templateLabels_ = {ui_->deadbandLabel->text(), ui_->arrivalLabel->text(),
                       ui_->approachLabel->text()};

    // The program checks and clears every radio button itself.
    for (QRadioButton* r : {ui_->halfRadio, ui_->oneRadio, ui_->twoRadio, ui_->totalEnergyRadio,
                            ui_->superNettoRadio, ui_->nettoRadio}) {
        r->setAutoExclusive(false);
    }

    connect(ui_->deadbandUpDown, &UpDownControl::deltaPos, this,
            [this](int delta) { spin(shown_.deadband, deadbandBounds_, delta); });
    connect(ui_->arrivalUpDown, &UpDownControl::deltaPos, this,
            [this](int delta) { spin(shown_.arrival, radiusBounds_, delta); });
    connect(ui_->approachUpDown, &UpDownControl::deltaPos, this,
            [this](int delta) { spin(shown_.approach, radiusBounds_, delta); });
    connect(ui_->goalUpDown, &UpDownControl::deltaPos, this,
            [this](int delta) { spin(shown_.goal, goalBounds_, delta); });
    connect(ui_->loggingIntervalUpDown, &UpDownControl::deltaPos, this,
            [this](int delta) { spinLoggingInterval(delta); });
    connect(ui_->halfRadio, &QRadioButton::clicked, this, [this] { setChoice(kChoiceHalf); });
    connect(ui_->oneRadio, &QRadioButton::clicked, this, [this] { setChoice(kChoiceOne); });
    connect(ui_->twoRadio, &QRadioButton::clicked, this, [this] { setChoice(kChoiceTwo); });
    connect(ui_->totalEnergyRadio, &QRadioButton::clicked, this,
            [this] { setMode(kModeTotalEnergy); });
    connect(ui_->superNettoRadio, &QRadioButton::clicked, this,
            [this] { setMode(kModeSuperNetto); });
    connect(ui_->nettoRadio, &QRadioButton::clicked, this, [this] { setMode(kModeNetto); });
    connect(ui_->overshootCheck, &QCheckBox::clicked, this, [this] { onOvershootClicked(); });
    connect(ui_->sinkToneCheck, &QCheckBox::clicked, this, [this] { onSinkToneClicked(); });
    connect(ui_->fromVantorButton, &QPushButton::clicked, this, [this] { fetchFromVantor(); });
    connect(ui_->toVantorButton, &QPushButton::clicked, this, [this] { sendToVantor(); });
}

ConfigureInstrumentDialog::~ConfigureInstrumentDialog() = default;

void ConfigureInstrumentDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) initialise();
    QDialog::showEvent(event);
}

void ConfigureInstrumentDialog::initialise() {
    showValues();
    // An instrument without a variometer has no vario mode, sink tone,
    // speed-to-fly or final glide to configure.
    const bool variometer = instrumentType_ != 1;
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->nettoRadio, ui_->superNettoRadio, ui_->totalEnergyRadio, ui_->sinkToneCheck,
             ui_->variometerGroup, ui_->deadbandLabel, ui_->deadbandUpDown, ui_->goalLabel,
             ui_->goalUpDown}) {
        w->setEnabled(variometer);
    }
    refreshFromRecord();
}

void ConfigureInstrumentDialog::refreshFromRecord() {
    loggingIntervalShown_ = preferences_.loggingInterval;
    sinkToneShown_ = preferences_.sinkTone;
    showValues();

    // A code of 0 names no button: none is checked, whatever an earlier
    // record showed.
    choiceCode_ = preferences_.varioOptions & kChoiceMask;
    showChoice();
    modeCode_ = static_cast<std::uint8_t>((preferences_.varioOptions & kModeMask) >> 2);
    showMode();
    overshoot_ = (preferences_.varioOptions & kOvershootBit) ? 1 : 0;
    ui_->overshootCheck->setChecked(overshoot_ == 1);

    // Values from the instrument outside the bounds are shown as they are;
    // the first spin brings them inside.
    recordToShown(preferences_, shown_);
    writeTexts();
    setUnitLabelsAndBounds();
}

void ConfigureInstrumentDialog::writeTexts() {
    ui_->arrivalEdit->setText(hundredths(shown_.arrival));
    ui_->approachEdit->setText(hundredths(shown_.approach));
    ui_->goalEdit->setText(QString::number(shown_.goal * 10));
    ui_->deadbandEdit->setText(QString::number(shown_.deadband));
}

void ConfigureInstrumentDialog::setUnitLabelsAndBounds() {
    // A code that names no unit shows the template's labels, not those of an
    // earlier record, and keeps to the km/h and kilometre bounds.
    switch (speedCode(preferences_.unitFlags)) {
        case 0:
            ui_->deadbandLabel->setText(QStringLiteral("STF Deadband (KPH)"));
            deadbandBounds_ = {0, 50};
            break;
        case 1:
            ui_->deadbandLabel->setText(QStringLiteral("STF Deadband (Knots)"));
            deadbandBounds_ = {0, 30};
            break;
        case 2:
            ui_->deadbandLabel->setText(QStringLiteral("STF Deadband (MPH)"));
            deadbandBounds_ = {0, 30};
            break;
        default:
            ui_->deadbandLabel->setText(templateLabels_.deadband);
            deadbandBounds_ = {0, 50};
            break;
    }
    static const char* const kDistanceUnits[] = {"KM", "NMI", "SMI"};
    const int distance = distanceCode(preferences_.unitFlags);
    if (distance != kNoUnit) {
        const QString unit = QString::fromLatin1(kDistanceUnits[distance]);
        ui_->arrivalLabel->setText(QStringLiteral("Arrival Radius (%1)").arg(unit));
        ui_->approachLabel->setText(QStringLiteral("Approach Radius (%1)").arg(unit));
    } else {
        ui_->arrivalLabel->setText(templateLabels_.arrival);
        ui_->approachLabel->setText(templateLabels_.approach);
    }
    radiusBounds_ = {0, 999};
    if (altitudeInFeet(preferences_.unitFlags)) {
        ui_->goalLabel->setText(QStringLiteral("Goal Height (Feet)"));
        goalBounds_ = {0, 1000};
    } else {
        ui_->goalLabel->setText(QStringLiteral("Goal Height (Meters)"));
        goalBounds_ = {0, 350};
    }
}

void ConfigureInstrumentDialog::showValues() {
    ui_->loggingIntervalEdit->setText(QString::number(loggingIntervalShown_));
    ui_->sinkToneCheck->setChecked(sinkToneShown_ != 0);
}

void ConfigureInstrumentDialog::readControls() {
    // The edit boxes are the program's own; only the check box is the pilot's.
    sinkToneShown_ = ui_->sinkToneCheck->isChecked() ? 1 : 0;
}

void ConfigureInstrumentDialog::spin(std::int32_t& value, const Bounds& bounds, int delta) {
    value -= delta;
    if (value > bounds.upper) value = bounds.upper;
    if (value < bounds.lower) value = bounds.lower;
    writeTexts();
    showValues();
    // Every shown value goes back, so the record always holds what is shown.
    shownToRecord(shown_, preferences_);
}

void ConfigureInstrumentDialog::spinLoggingInterval(int delta) {
    loggingIntervalShown_ -= delta;
    if (loggingIntervalShown_ > kMaxLoggingInterval) loggingIntervalShown_ = kMaxLoggingInterval;
    if (loggingIntervalShown_ < kMinLoggingInterval) loggingIntervalShown_ = kMinLoggingInterval;
    preferences_.loggingInterval = static_cast<std::uint16_t>(loggingIntervalShown_);
    showValues();
}

void ConfigureInstrumentDialog::setChoice(std::uint8_t code) {
    choiceCode_ = code;
    readControls();
    preferences_.varioOptions =
        static_cast<std::uint8_t>((preferences_.varioOptions & ~kChoiceMask) | code);
    showChoice();
}

void ConfigureInstrumentDialog::showChoice() {
    ui_->halfRadio->setChecked(choiceCode_ == kChoiceHalf);
    ui_->oneRadio->setChecked(choiceCode_ == kChoiceOne);
    ui_->twoRadio->setChecked(choiceCode_ == kChoiceTwo);
}

void ConfigureInstrumentDialog::setMode(std::uint8_t code) {
    modeCode_ = code;
    readControls();
    preferences_.varioOptions =
        static_cast<std::uint8_t>((preferences_.varioOptions & ~kModeMask) | (code << 2));
    refreshFromRecord();
}

void ConfigureInstrumentDialog::showMode() {
    ui_->nettoRadio->setChecked(modeCode_ == kModeNetto);
    ui_->totalEnergyRadio->setChecked(modeCode_ == kModeTotalEnergy);
    ui_->superNettoRadio->setChecked(modeCode_ == kModeSuperNetto);
}

void ConfigureInstrumentDialog::onOvershootClicked() {
    overshoot_ = ui_->overshootCheck->isChecked() ? 1 : 0;
    preferences_.varioOptions = static_cast<std::uint8_t>(
        (preferences_.varioOptions & ~kOvershootBit) | (overshoot_ ? kOvershootBit : 0));
}

void ConfigureInstrumentDialog::onSinkToneClicked() {
    readControls();
    preferences_.sinkTone = static_cast<std::uint8_t>(sinkToneShown_);
}

void ConfigureInstrumentDialog::fetchFromVantor() {
    PilotPreferencesTransfer(prompts_, portName_).fetch(preferences_);
    refreshFromRecord();
}

void ConfigureInstrumentDialog::sendToVantor() {
    PilotPreferencesTransfer(prompts_, portName_).send(preferences_);
    shownToRecord(shown_, preferences_);
}

void ConfigureInstrumentDialog::loadPreferencesFile() {
    PilotPreferencesTransfer transfer(prompts_, portName_);
    transfer.loadFile(preferences_, ownerOf(this));
    refreshFromRecord();
}

void ConfigureInstrumentDialog::savePreferencesFile() {
    PilotPreferencesTransfer transfer(prompts_, portName_);
    transfer.saveFile(preferences_, ownerOf(this));
}

}  // namespace vantor
