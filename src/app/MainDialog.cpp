#include "app/MainDialog.h"

#include <QApplication>

#include "app/AppSettings.h"
#include "link/IdentityMemory.h"
#include "link/PortName.h"
#include "records/PilotPreferencesTransfer.h"
#include "ui/AppIcon.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui/SettingsReceiver.h"
#include "ui_MainDialog.h"

namespace vantor {

MainDialog::MainDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::MainDialog>()),
      glider_(prompts),
      configure_(prompts),
      preferencesLink_(prompts),
      logs_(prompts),
      units_(prompts),
      pilotName_(prompts),
      navpoints_(prompts),
      setup_(prompts),
      settingsReceivers_{&glider_, &configure_, &logs_, &navpoints_, &units_, &pilotName_} {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(appIcon());

    connect(ui_->transferLogsButton, &QPushButton::clicked, this, [this] { showModal(logs_); });
    connect(ui_->gliderButton, &QPushButton::clicked, this, [this] { showModal(glider_); });
    connect(ui_->pilotNameButton, &QPushButton::clicked, this,
            [this] { editWithPreferences(pilotName_, pilotName_.preferences()); });
    connect(ui_->navpointsButton, &QPushButton::clicked, this, [this] { showModal(navpoints_); });
    connect(ui_->unitsButton, &QPushButton::clicked, this, [this] {
        editWithPreferences(units_, units_.preferences(), &units_.instrumentType());
    });
    connect(ui_->configureButton, &QPushButton::clicked, this, [this] {
        editWithPreferences(configure_, configure_.preferences(), &configure_.instrumentType());
    });
    connect(ui_->setupButton, &QPushButton::clicked, this, [this] {
        runModal(setup_);
        distributeSettings();  // however Setup was closed
    });

    logs_.setDownloadFolder(loadDownloadFolder());
    logs_.onDownloadFolderChanged(saveDownloadFolder);

    portNames_ = [] { return presentPortNames(); };
    portTimer_.setInterval(1000);
    connect(&portTimer_, &QTimer::timeout, this, &MainDialog::checkForNewPorts);

    distributeSettings();
}

MainDialog::~MainDialog() = default;

void MainDialog::editWithPreferences(QDialog& dialog, PilotPreferences& working,
                                     std::int32_t* dialogInstrumentType) {
    // Once a run, whether or not the instrument answers.
    if (!preferencesFetched_) {
        preferencesFetched_ = true;
        fetchInstrumentState();
    }
    working = pilotPreferences_;
    if (dialogInstrumentType) *dialogInstrumentType = instrumentType_;
    showModal(dialog);
    pilotPreferences_ = working;
}

void MainDialog::showModal(QDialog& dialog) {
    runModal(dialog);
    // The dialog may have heard from the instrument.
    updateInstrumentText();
}

void MainDialog::updateInstrumentText() {
    const std::string device = resolvePortName(portName_, setup_.settings().portMap);
    QString text = QStringLiteral("Port: %1").arg(QString::fromStdString(portName_));
    if (device != portName_) text += QStringLiteral(" (%1)").arg(QString::fromStdString(device));
    if (const auto id = rememberedIdentity(portName_)) {
        text += QStringLiteral("\nSerial number %1, firmware %2")
                    .arg(QString::fromLatin1(id->serial.c_str()),
                         QString::fromLatin1(id->version.c_str()));
    }
    ui_->instrumentText->setText(text);
}

void MainDialog::fetchInstrumentState() {
    {
        PilotPreferencesTransfer transfer(prompts_, portName_);
        transfer.fetch(pilotPreferences_, preferencesLink_);
    }
    // The type is asked quietly: without it the dialogs offer every control.
    InstrumentLink link(prompts_);
    if (!link.connectForUpload(portName_, true)) return;
    std::array<std::uint8_t, kIdentitySize> identity{};
    if (link.queryIdentity(identity)) instrumentType_ = identity[32];
    link.sync();
    link.close();
}

void MainDialog::distributeSettings() {
    portName_ = setup_.portName();
    for (SettingsReceiver* receiver : settingsReceivers_) {
        receiver->receiveSettings(portName_, setup_.minFlightLogTime());
    }
    updateInstrumentText();
    watchPorts(setup_.settings().downloadWhenPluggedIn);
}

void MainDialog::watchPorts(bool on) {
    if (!on) {
        portTimer_.stop();
        portWatcher_.reset();
    } else if (!portWatcher_) {
        // The ports there now are not news; only one plugged in later is.
        portWatcher_ = std::make_unique<PortWatcher>([this] { return portNames_(); });
        portTimer_.start();
    }
}

void MainDialog::checkForNewPorts() {
    if (!portWatcher_) return;
    const std::vector<std::string> appeared = portWatcher_->poll();
    // Only while the pilot is at the main dialog: never beside an operation
    // another dialog runs on the line.
    const QWidget* modal = QApplication::activeModalWidget();
    if (appeared.empty() || !isVisible() || (modal && modal != this) || logs_.task().running()) {
        return;
    }
    logs_.downloadWhenPluggedIn(appeared.front());
}

}  // namespace vantor
