#include "records/PilotNameDialog.h"

#include <QShowEvent>

#include "base/Prompts.h"
#include "link/InstrumentLink.h"
#include "records/PilotPreferencesTransfer.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui_PilotNameDialog.h"

namespace vantor {

PilotNameDialog::PilotNameDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), ui_(std::make_unique<Ui::PilotNameDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->nameEdit->setMaxLength(kNameTextLength);
    connect(ui_->nameEdit, &QLineEdit::textChanged, this, [this] { onNameChanged(); });
    connect(ui_->toVantorButton, &QPushButton::clicked, this, [this] { sendToVantor(); });
    connect(ui_->fromVantorButton, &QPushButton::clicked, this, [this] { fetchFromVantor(); });
}

PilotNameDialog::~PilotNameDialog() = default;

void PilotNameDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) showName();
    QDialog::showEvent(event);
}

void PilotNameDialog::showName() {
    nameText_.assign(kNameTextLength, ' ');
    const std::string name = preferences_.name();
    nameText_.replace(0, name.size(), name);
    // Showing the record is no edit of it.
    showing_ = true;
    ui_->nameEdit->setText(QString::fromLatin1(nameText_.data(), kNameTextLength));
    showing_ = false;
}

void PilotNameDialog::onNameChanged() {
    if (showing_) return;
    nameText_ = ui_->nameEdit->text().toLatin1().toStdString();
    std::string name = nameText_.substr(0, PilotPreferences::kNameLength);
    name.resize(PilotPreferences::kNameLength, ' ');
    preferences_.setName(name);
}

void PilotNameDialog::sendToVantor() {
    PilotPreferencesTransfer(prompts_, portName_).send(preferences_);
}

void PilotNameDialog::fetchFromVantor() {
    PilotPreferencesTransfer(prompts_, portName_).fetch(preferences_);
    showName();
}

}  // namespace vantor
