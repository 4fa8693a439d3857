#include "app/MainDialog.h"

#include "app/AppIcon.h"
#include "app/DialogUnits.h"
#include "app/SettingsReceiver.h"
#include "ui_MainDialog.h"

namespace vantor {

MainDialog::MainDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::MainDialog>()),
      logs_(prompts),
      navpoints_(prompts),
      setup_(prompts),
      settingsReceivers_{&logs_, &navpoints_} {
    ui_->setupUi(this);
    applyDialogUnits(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(appIcon());

    connect(ui_->transferLogsButton, &QPushButton::clicked, this, [this] { runModal(logs_); });
    connect(ui_->navpointsButton, &QPushButton::clicked, this, [this] { runModal(navpoints_); });
    connect(ui_->setupButton, &QPushButton::clicked, this, [this] {
        runModal(setup_);
        distributeSettings();  // however Setup was closed
    });

    distributeSettings();
}

MainDialog::~MainDialog() = default;

void MainDialog::distributeSettings() {
    portName_ = setup_.portName();
    for (SettingsReceiver* receiver : settingsReceivers_) {
        receiver->receiveSettings(portName_, setup_.minFlightLogTime());
    }
}

}  // namespace vantor
