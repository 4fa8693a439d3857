#include "app/SetupDialog.h"

#include <QEvent>
#include <QRegularExpressionValidator>
#include <QShowEvent>

#include "base/Prompts.h"
#include "link/PortName.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui/QtPrompts.h"
#include "ui_SetupDialog.h"

namespace vantor {

namespace {

const char* const kPositiveInteger = "Please enter a positive integer.";
const char* const kMinTimeRange = "Please enter an integer between 0 and 30.";
constexpr std::uint32_t kMaxMinFlightLogTime = 30;

std::array<QRadioButton*, 4> portRadios(Ui::SetupDialog& ui) {
    return {ui.com1Radio, ui.com2Radio, ui.com3Radio, ui.com4Radio};
}

}  // namespace

SetupDialog::SetupDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), ui_(std::make_unique<Ui::SetupDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    ui_->minTimeEdit->setValidator(digits);
    ui_->otherEdit->setValidator(digits);
    ui_->otherEdit->installEventFilter(this);

    const auto radios = portRadios(*ui_);
    for (int i = 0; i < 4; ++i) {
        connect(radios[static_cast<std::size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { onPortClicked(i + 1); });
    }
    // "Other" only unlocks the number; the port changes when the number is left.
    connect(ui_->otherRadio, &QRadioButton::clicked, this,
            [this] { ui_->otherEdit->setEnabled(true); });
    connect(ui_->minTimeUpDown, &UpDownControl::deltaPos, this, &SetupDialog::onDeltaPos);
    connect(ui_->okButton, &QPushButton::clicked, this, &SetupDialog::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &SetupDialog::reject);

    settings_.loadOrDefault();
    settings_.formPortName();
}

SetupDialog::~SetupDialog() = default;

void SetupDialog::showEvent(QShowEvent* event) {
    // Every opening starts again from what is stored.
    if (!event->spontaneous()) initialise();
    QDialog::showEvent(event);
}

void SetupDialog::initialise() {
    settings_.loadOrDefault();
    pendingComPort_ = settings_.comPort;
    pendingMinFlightLogTime_ = settings_.minFlightLogTime;
    synchronisePorts();
    settings_.formPortName();
    ui_->minTimeEdit->setText(QString::number(pendingMinFlightLogTime_));
    otherPortNumber_ = static_cast<std::uint32_t>(settings_.comPort);
    writeOtherPort();
    updateTooltips();
}

void SetupDialog::synchronisePorts() {
    ui_->otherEdit->setEnabled(false);
    if (pendingComPort_ >= 1 && pendingComPort_ <= 4) {
        portRadios(*ui_)[static_cast<std::size_t>(pendingComPort_ - 1)]->setChecked(true);
    } else {
        ui_->otherRadio->setChecked(true);
        ui_->otherEdit->setEnabled(true);
    }
    otherPortNumber_ = static_cast<std::uint32_t>(pendingComPort_);
    writeOtherPort();
}

void SetupDialog::writeOtherPort() {
    ui_->otherEdit->setText(QString::number(otherPortNumber_));
}

void SetupDialog::updateTooltips() {
    const PortMap map = settings_.portMap;
    const auto radios = portRadios(*ui_);
    for (int i = 0; i < 4; ++i) {
        radios[static_cast<std::size_t>(i)]->setToolTip(
            QString::fromStdString(resolvePortName(portNameFor(i + 1), map)));
    }
    ui_->otherRadio->setToolTip(
        QString::fromStdString(resolvePortName(portNameFor(pendingComPort_), map)));
}

void SetupDialog::onPortClicked(int port) {
    pendingComPort_ = port;
    synchronisePorts();
    updateTooltips();
}

bool SetupDialog::readControls() {
    bool ok = false;
    const qulonglong n = ui_->otherEdit->text().trimmed().toULongLong(&ok);
    if (!ok || n > 0xFFFFFFFFull) {
        if (!validating_) {
            validating_ = true;
            prompts_.message(kPositiveInteger, "", Buttons::Ok, Icon::Warning, ownerOf(this));
            ui_->otherEdit->setFocus();
            ui_->otherEdit->selectAll();
            validating_ = false;
        }
        return false;
    }
    otherPortNumber_ = static_cast<std::uint32_t>(n);
    return true;
}

void SetupDialog::onOtherLostFocus() {
    if (validating_ || !readControls()) return;
    pendingComPort_ = static_cast<std::int32_t>(otherPortNumber_);
    synchronisePorts();
    updateTooltips();
}

bool SetupDialog::readMinTime(bool quiet) {
    // A stored value outside 0..30 stays as it is until the pilot changes it.
    const QString text = ui_->minTimeEdit->text().trimmed();
    if (text == QString::number(pendingMinFlightLogTime_)) return true;
    bool ok = false;
    const qulonglong n = text.toULongLong(&ok);
    if (!ok || n > kMaxMinFlightLogTime) {
        if (!quiet) {
            prompts_.message(ok ? kMinTimeRange : kPositiveInteger, "", Buttons::Ok, Icon::Warning,
                             ownerOf(this));
            ui_->minTimeEdit->setFocus();
            ui_->minTimeEdit->selectAll();
        }
        return false;
    }
    pendingMinFlightLogTime_ = static_cast<std::uint32_t>(n);
    return true;
}

void SetupDialog::onDeltaPos(int delta) {
    // The arrows step from what was typed, when it is a time.
    readMinTime(true);
    std::uint32_t v = pendingMinFlightLogTime_ - static_cast<std::uint32_t>(delta);
    if (v > 10000) v = 0;  // below zero wraps round
    if (v > 30) v = 30;
    pendingMinFlightLogTime_ = v;
    ui_->minTimeEdit->setText(QString::number(v));
}

bool SetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->otherEdit && event->type() == QEvent::FocusOut && isVisible()) {
        onOtherLostFocus();
    }
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::accept() {
    // A typed time is checked before anything is committed.
    if (!readMinTime(false)) return;
    settings_.comPort = pendingComPort_;
    settings_.formPortName();
    settings_.minFlightLogTime = pendingMinFlightLogTime_;
    settings_.save();
    // As committed; the exchange that follows can still keep the dialog open.
    if (readControls()) QDialog::accept();
}

}  // namespace vantor
