#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "records/PilotPreferences.h"
#include "ui/SettingsReceiver.h"

namespace Ui {
class PilotNameDialog;
}

namespace vantor {

class Prompts;

// "Edit Pilot Name": the name of the pilot preferences record, which the main
// dialog hands in before each opening and takes back after it.
class PilotNameDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    // The box takes no more than the record keeps.
    static constexpr int kNameTextLength = static_cast<int>(PilotPreferences::kNameLength);

    explicit PilotNameDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~PilotNameDialog() override;

    void receiveSettings(const std::string& portName, std::uint32_t) override {
        portName_ = portName;
    }

    // The dialog's working copy of the record.
    PilotPreferences& preferences() { return preferences_; }
    const std::string& nameText() const { return nameText_; }
    Ui::PilotNameDialog& ui() { return *ui_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The record's name, blank-padded to the 24 characters of the edit box.
    void showName();
    void onNameChanged();
    void sendToVantor();
    void fetchFromVantor();

    Prompts& prompts_;
    std::unique_ptr<Ui::PilotNameDialog> ui_;
    PilotPreferences preferences_;
    std::string portName_;
    std::string nameText_ = "Pilot name             ";
    bool showing_ = false;
};

}  // namespace vantor
