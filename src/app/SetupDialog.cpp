#include "app/SetupDialog.h"

#include <QComboBox>
#include <QEvent>
#include <QMouseEvent>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <filesystem>
#include <optional>

#include "base/Prompts.h"
#include "link/InstrumentFinder.h"
#include "link/PortName.h"
#include "ui/BackgroundTask.h"
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

// "FTDI FT232R USB UART (ttyUSB0)": what it is and the device it leads to.
QString portLabel(const SerialPortInfo& port) {
    const std::string device = std::filesystem::path(port.device).filename().string();
    std::string label = port.description;
    if (label.find(device) == std::string::npos) label += " (" + device + ")";
    return QString::fromStdString(label);
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
    connect(ui_->portList, &QComboBox::activated, this, &SetupDialog::choosePortFromList);
    connect(ui_->findButton, &QPushButton::clicked, this, &SetupDialog::findInstrument);
    ui_->plugInLabel->installEventFilter(this);
    ui_->plugInLabel->setBuddy(ui_->plugInCheck);
    portSource_ = [] { return listSerialPorts(); };
    findTask_ = std::make_unique<BackgroundTask>(*this);

    settings_.loadOrDefault();
    settings_.formPortName();
    AppSettings::applyCommLog(settings_.commLog);
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
    pendingDevice_ = settings_.portDevice;
    ui_->commLogCheck->setChecked(settings_.commLog);
    ui_->plugInCheck->setChecked(settings_.downloadWhenPluggedIn);
    fillPortList();
    synchronisePorts();
    settings_.formPortName();
    ui_->minTimeEdit->setText(QString::number(pendingMinFlightLogTime_));
    otherPortNumber_ = static_cast<std::uint32_t>(settings_.comPort);
    writeOtherPort();
    updateTooltips();
}

void SetupDialog::synchronisePorts() {
    ui_->otherEdit->setEnabled(false);
    const int listed = ui_->portList->findData(QString::fromStdString(pendingDevice_));
    ui_->portList->setCurrentIndex(pendingDevice_.empty() ? -1 : listed);
    if (!pendingDevice_.empty()) {
        // A port from the list: no COM choice is checked.
        for (QRadioButton* r :
             {ui_->com1Radio, ui_->com2Radio, ui_->com3Radio, ui_->com4Radio, ui_->otherRadio}) {
            r->setAutoExclusive(false);
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
    } else if (pendingComPort_ >= 1 && pendingComPort_ <= 4) {
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

void SetupDialog::fillPortList() {
    ui_->portList->clear();
    bool chosenListed = pendingDevice_.empty();
    for (const SerialPortInfo& port : portSource_()) {
        const QString name = QString::fromStdString(port.name);
        ui_->portList->addItem(portLabel(port), name);
        ui_->portList->setItemData(ui_->portList->count() - 1,
                                   QString::fromStdString(port.name + "\n" + port.device),
                                   Qt::ToolTipRole);
        chosenListed = chosenListed || port.name == pendingDevice_;
    }
    // The chosen port stays choosable while its adapter is unplugged.
    if (!chosenListed) {
        const std::string device = std::filesystem::path(pendingDevice_).filename().string();
        ui_->portList->addItem(QString::fromStdString(device + " (not connected)"),
                               QString::fromStdString(pendingDevice_));
    }
    ui_->portList->setCurrentIndex(-1);
}

void SetupDialog::choosePortFromList(int index) {
    if (index < 0) return;
    pendingDevice_ = ui_->portList->itemData(index).toString().toStdString();
    synchronisePorts();
}

void SetupDialog::findInstrument() {
    if (findTask_->running()) return;
    std::vector<std::string> ports;
    for (int i = 0; i < ui_->portList->count(); ++i) {
        ports.push_back(ui_->portList->itemData(i).toString().toStdString());
    }
    struct Outcome {
        std::optional<FoundInstrument> found;
        std::string skipped;
    };
    auto outcome = std::make_shared<Outcome>();
    findTask_->start(
        [this, ports, outcome] {
            outcome->found = vantor::findInstrument(
                ports, prompts_, [outcome](const std::string& port, const std::string& reason) {
                    outcome->skipped += "\n\n" + port + ": " + reason;
                });
        },
        [this, outcome] {
            if (outcome->found) {
                pendingDevice_ = outcome->found->port;
                synchronisePorts();
                return;
            }
            const std::string text = ui_->portList->count() == 0
                                         ? "No serial ports were found on this computer."
                                         : "The instrument answered on none of the ports.";
            prompts_.message(text + outcome->skipped, "Find Instrument", Buttons::Ok, Icon::Warning,
                             ownerOf(this));
        });
}

void SetupDialog::onPortClicked(int port) {
    pendingDevice_.clear();
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
    if (ui_->otherRadio->isChecked()) pendingDevice_.clear();
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
    // The option's text wraps in a label of its own; a click on it ticks the box.
    if (watched == ui_->plugInLabel && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ui_->plugInCheck->toggle();
    }
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::accept() {
    // A typed time is checked before anything is committed.
    if (!readMinTime(false)) return;
    settings_.comPort = pendingComPort_;
    settings_.minFlightLogTime = pendingMinFlightLogTime_;
    settings_.portDevice = pendingDevice_;
    settings_.formPortName();
    settings_.commLog = ui_->commLogCheck->isChecked();
    settings_.downloadWhenPluggedIn = ui_->plugInCheck->isChecked();
    settings_.save();
    AppSettings::applyCommLog(settings_.commLog);
    // As committed; the exchange that follows can still keep the dialog open.
    if (readControls()) QDialog::accept();
}

}  // namespace vantor
