#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "records/PilotPreferences.h"
#include "ui/SettingsReceiver.h"

class QRadioButton;

namespace Ui {
class UnitsDialog;
}

namespace vantor {

class Prompts;

// "Units": the display units of the pilot preferences record (its unitFlags),
// which the main dialog hands in before each opening and takes back after it.
// Every radio button stands alone; the dialog checks and clears them from the
// flags, so a code that names no unit shows no button checked.
class UnitsDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    explicit UnitsDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~UnitsDialog() override;

    void receiveSettings(const std::string& portName, std::uint32_t) override {
        portName_ = portName;
    }

    // The dialog's working copy of the record and the instrument type.
    PilotPreferences& preferences() { return preferences_; }
    std::int32_t& instrumentType() { return instrumentType_; }
    Ui::UnitsDialog& ui() { return *ui_; }

    // What opening the dialog does, before it is shown.
    void initialise();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // One button: the bits of its group and the value it stands for.
    struct UnitButton {
        QRadioButton* button;
        std::uint16_t mask;
        std::uint16_t value;
    };

    void showUnits();
    void setUnit(const UnitButton& unit);
    void sendToVantor();
    void fetchFromVantor();

    Prompts& prompts_;
    std::unique_ptr<Ui::UnitsDialog> ui_;
    PilotPreferences preferences_;
    std::int32_t instrumentType_ = 0;
    std::string portName_;
    // In the order the units are shown: altitude, vario, QNH, temperature,
    // distance, speed.
    std::array<UnitButton, 14> buttons_{};
};

}  // namespace vantor
