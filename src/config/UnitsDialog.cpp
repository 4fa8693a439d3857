#include "config/UnitsDialog.h"

#include <QRadioButton>
#include <QShowEvent>

#include "link/InstrumentLink.h"
#include "records/PilotPreferencesTransfer.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui_UnitsDialog.h"

namespace vantor {

UnitsDialog::UnitsDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), ui_(std::make_unique<Ui::UnitsDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    constexpr std::uint16_t kAltitude = 0x02, kVario = 0x01, kQnh = 0x08, kTemperature = 0x04;
    constexpr std::uint16_t kDistance = 0x30, kSpeed = 0xC0;
    buttons_ = {{
        {ui_->metersRadio, kAltitude, 0},
        {ui_->feetRadio, kAltitude, 0x02},
        {ui_->metersPerSecondRadio, kVario, 0},
        {ui_->varioKnotsRadio, kVario, 0x01},
        {ui_->millibarsRadio, kQnh, 0},
        {ui_->inchesRadio, kQnh, 0x08},
        {ui_->celsiusRadio, kTemperature, 0},
        {ui_->fahrenheitRadio, kTemperature, 0x04},
        {ui_->kilometresRadio, kDistance, 0x00},
        {ui_->nauticalMilesRadio, kDistance, 0x10},
        {ui_->statuteMilesRadio, kDistance, 0x20},
        {ui_->kphRadio, kSpeed, 0x00},
        {ui_->speedKnotsRadio, kSpeed, 0x40},
        {ui_->mphRadio, kSpeed, 0x80},
    }};
    for (const UnitButton& unit : buttons_) {
        unit.button->setAutoExclusive(false);
        connect(unit.button, &QRadioButton::clicked, this, [this, unit] { setUnit(unit); });
    }
    // The instrument may report miles per hour; the pilot cannot choose them.
    ui_->mphRadio->setVisible(false);
    ui_->mphRadio->setEnabled(false);

    connect(ui_->toVantorButton, &QPushButton::clicked, this, [this] { sendToVantor(); });
    connect(ui_->fromVantorButton, &QPushButton::clicked, this, [this] { fetchFromVantor(); });
}

UnitsDialog::~UnitsDialog() = default;

void UnitsDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) initialise();
    QDialog::showEvent(event);
}

void UnitsDialog::initialise() {
    showUnits();
    // An instrument without a variometer has no vario, pressure or temperature
    // display to set.
    const bool variometer = instrumentType_ != 1;
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->metersPerSecondRadio, ui_->varioKnotsRadio, ui_->millibarsRadio, ui_->inchesRadio,
             ui_->celsiusRadio, ui_->fahrenheitRadio, ui_->varioGroup, ui_->qnhGroup,
             ui_->temperatureGroup}) {
        w->setEnabled(variometer);
    }
}

void UnitsDialog::showUnits() {
    for (const UnitButton& unit : buttons_) {
        unit.button->setChecked((preferences_.unitFlags & unit.mask) == unit.value);
    }
}

void UnitsDialog::setUnit(const UnitButton& unit) {
    preferences_.unitFlags =
        static_cast<std::uint16_t>((preferences_.unitFlags & ~unit.mask) | unit.value);
    showUnits();
}

void UnitsDialog::sendToVantor() {
    // The instrument keeps the temperature unit in a byte of its own as well.
    preferences_.celsiusFlag = (preferences_.unitFlags & 0x04) ? 0 : 1;
    PilotPreferencesTransfer(prompts_, portName_).send(preferences_);
}

void UnitsDialog::fetchFromVantor() {
    PilotPreferencesTransfer(prompts_, portName_).fetch(preferences_);
    showUnits();
}

}  // namespace vantor
