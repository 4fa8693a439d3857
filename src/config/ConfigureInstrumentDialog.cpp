#include "config/ConfigureInstrumentDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <cstdio>

#include "link/InstrumentLink.h"
#include "records/PilotPreferencesTransfer.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
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

// The next multiple of step above value (delta -1, the upper arrow) or below
// it (+1), so a value off the grid comes onto it at the first click.
std::int32_t stepped(std::int32_t value, std::int32_t step, int delta) {
    const std::int32_t below =
        value >= 0 ? value / step * step : -((-value + step - 1) / step * step);
    if (delta < 0) return below + step * -delta;
    return (below == value ? below - step : below) - step * (delta - 1);
}

constexpr const char* kInteger = "Please enter an integer.";
constexpr const char* kNumber = "Please enter a number.";

}  // namespace

ConfigureInstrumentDialog::ConfigureInstrumentDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), ui_(std::make_unique<Ui::ConfigureInstrumentDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    templateLabels_ = {ui_->deadbandLabel->text(), ui_->arrivalLabel->text(),
                       ui_->approachLabel->text()};

    // The program checks and clears every radio button itself.
    for (QRadioButton* r : {ui_->halfRadio, ui_->oneRadio, ui_->twoRadio, ui_->totalEnergyRadio,
                            ui_->superNettoRadio, ui_->nettoRadio}) {
        r->setAutoExclusive(false);
    }

    // Each box and its arrows: a typed value and an arrow click go through
    // the same bounds and the same conversion.
    boxes_ = {{
        {ui_->deadbandEdit, ui_->deadbandUpDown, &shown_.deadband, &deadbandBounds_, 1, 1, 0},
        {ui_->arrivalEdit, ui_->arrivalUpDown, &shown_.arrival, &radiusBounds_, 10, 1, 2},
        {ui_->approachEdit, ui_->approachUpDown, &shown_.approach, &radiusBounds_, 10, 1, 2},
        {ui_->goalEdit, ui_->goalUpDown, &shown_.goal, &goalBounds_, 1, 10, 0},
        {ui_->loggingIntervalEdit, ui_->loggingIntervalUpDown, &loggingIntervalShown_,
         &loggingIntervalBounds_, 1, 1, 0},
    }};
    for (const ValueBox& box : boxes_) {
        connect(box.arrows, &UpDownControl::deltaPos, this, [this, &box](int delta) {
            // Arrows step from what was typed, when it is a value.
            readBox(box, true);
            setValue(box, stepped(*box.value, box.step, delta));
        });
        connect(box.edit, &QLineEdit::editingFinished, this, [this, &box] {
            if (isVisible()) readBox(box, false);
        });
    }
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
             ui_->variometerGroup, ui_->deadbandLabel, ui_->deadbandUpDown, ui_->deadbandEdit,
             ui_->goalLabel, ui_->goalUpDown, ui_->goalEdit}) {
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

void ConfigureInstrumentDialog::setValue(const ValueBox& box, std::int32_t v) {
    const Bounds& bounds = *box.bounds;
    if (v > bounds.upper) v = bounds.upper;
    if (v < bounds.lower) v = bounds.lower;
    *box.value = v;
    if (box.value == &loggingIntervalShown_) {
        preferences_.loggingInterval = static_cast<std::uint16_t>(loggingIntervalShown_);
        showValues();
        return;
    }
    writeTexts();
    showValues();
    // Every shown value goes back, so the record always holds what is shown.
    shownToRecord(shown_, preferences_);
}

QString ConfigureInstrumentDialog::boxText(const ValueBox& box, std::int32_t v) const {
    return box.decimals == 2 ? hundredths(v) : QString::number(v * box.scale);
}

std::optional<std::int32_t> ConfigureInstrumentDialog::parseBox(const ValueBox& box,
                                                                const QString& text) {
    // Whole numbers, or for the radii up to two decimals; the goal height is
    // typed in metres or feet and kept in tens.
    static const QRegularExpression integer(QStringLiteral("^[0-9]{1,7}$"));
    static const QRegularExpression decimal(QStringLiteral("^([0-9]{0,5})(?:\\.([0-9]{0,2}))?$"));
    const QString t = text.trimmed();
    if (box.decimals == 2) {
        const QRegularExpressionMatch m = decimal.match(t);
        if (!m.hasMatch() || (m.captured(1).isEmpty() && m.captured(2).isEmpty())) {
            return std::nullopt;
        }
        const QString cents = (m.captured(2) + QStringLiteral("00")).left(2);
        return m.captured(1).toInt() * 100 + cents.toInt();
    }
    if (!integer.match(t).hasMatch()) return std::nullopt;
    const std::int32_t v = t.toInt();
    return (v + box.scale / 2) / box.scale;
}

bool ConfigureInstrumentDialog::readBox(const ValueBox& box, bool quiet) {
    if (!box.edit->isEnabled()) return true;
    const QString text = box.edit->text();
    if (text == boxText(box, *box.value)) return true;  // nothing typed
    const std::optional<std::int32_t> v = parseBox(box, text);
    const Bounds& bounds = *box.bounds;
    if (v && *v >= bounds.lower && *v <= bounds.upper) {
        setValue(box, *v);
        return true;
    }
    if (quiet) return false;
    // The box shows its value again; the pilot is told what it takes.
    const std::string message =
        !v ? (box.decimals == 2 ? kNumber : kInteger)
           : (box.decimals == 2
                  ? "Please enter a number between " + hundredths(bounds.lower).toStdString() +
                        " and " + hundredths(bounds.upper).toStdString() + "."
                  : "Please enter an integer between " + std::to_string(bounds.lower * box.scale) +
                        " and " + std::to_string(bounds.upper * box.scale) + ".");
    writeTexts();
    showValues();
    if (!validating_) {
        validating_ = true;
        prompts_.message(message, "", Buttons::Ok, Icon::Warning, ownerOf(this));
        validating_ = false;
    }
    box.edit->setFocus();
    box.edit->selectAll();
    return false;
}

bool ConfigureInstrumentDialog::readTypedValues(bool quiet) {
    for (const ValueBox& box : boxes_) {
        if (!readBox(box, quiet) && !quiet) return false;
    }
    return true;
}

void ConfigureInstrumentDialog::hideEvent(QHideEvent* event) {
    // Closing keeps what was typed, where it is a value.
    readTypedValues(true);
    QDialog::hideEvent(event);
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
    if (!readTypedValues(false)) return;
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
