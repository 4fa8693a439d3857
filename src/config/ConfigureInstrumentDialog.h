#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "config/UnitConversion.h"
#include "records/PilotPreferences.h"
#include "ui/SettingsReceiver.h"

namespace Ui {
class ConfigureInstrumentDialog;
}

class QLineEdit;

namespace vantor {

class Prompts;
class UpDownControl;

// "Configure Instrument": the configuration values of the pilot preferences
// record, shown in the units its unitFlags select and changed only with the
// spin controls. The main dialog hands the record in before each opening and
// takes it back after it.
class ConfigureInstrumentDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    // Lower and upper bound of a shown value.
    struct Bounds {
        std::int32_t lower = 0;
        std::int32_t upper = 0;
    };

    static constexpr std::int32_t kMinLoggingInterval = 1;
    static constexpr std::int32_t kMaxLoggingInterval = 20;

    explicit ConfigureInstrumentDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~ConfigureInstrumentDialog() override;

    void receiveSettings(const std::string& portName, std::uint32_t) override {
        portName_ = portName;
    }

    // The dialog's working copy of the record and the instrument type.
    PilotPreferences& preferences() { return preferences_; }
    std::int32_t& instrumentType() { return instrumentType_; }
    const ShownValues& shown() const { return shown_; }
    Ui::ConfigureInstrumentDialog& ui() { return *ui_; }

    // What opening the dialog does, before it is shown.
    void initialise();

    // Commands the dialog carries without a control for them: a pilot
    // preferences file into the record, and the record into a file.
    void loadPreferencesFile();
    void savePreferencesFile();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refreshFromRecord();
    void writeTexts();
    void setUnitLabelsAndBounds();
    void showValues();
    void readControls();
    // A value box, its arrows, the shown value it edits with its bounds, the
    // step of one arrow click, and how the value is written: times scale, or
    // as hundredths with two decimals.
    struct ValueBox {
        QLineEdit* edit;
        UpDownControl* arrows;
        std::int32_t* value;
        const Bounds* bounds;
        std::int32_t step;
        std::int32_t scale;
        int decimals;
    };
    // The one way a shown value changes, by arrow or typed: held to its
    // bounds, written back, and converted into the record.
    void setValue(const ValueBox& box, std::int32_t v);
    QString boxText(const ValueBox& box, std::int32_t v) const;
    static std::optional<std::int32_t> parseBox(const ValueBox& box, const QString& text);
    // Takes a typed value; false when the box holds none within the bounds
    // (after the validation message, unless quiet).
    bool readBox(const ValueBox& box, bool quiet);
    bool readTypedValues(bool quiet);
    void setChoice(std::uint8_t code);
    void showChoice();
    void setMode(std::uint8_t code);
    void showMode();
    void onOvershootClicked();
    void onSinkToneClicked();
    void fetchFromVantor();
    void sendToVantor();

    Prompts& prompts_;
    std::unique_ptr<Ui::ConfigureInstrumentDialog> ui_;
    PilotPreferences preferences_;
    std::int32_t instrumentType_ = 0;
    std::string portName_;

    std::int32_t sinkToneShown_ = 1;
    std::int32_t loggingIntervalShown_ = 4;
    ShownValues shown_;  // all 0 until the first refresh
    // The bounds of km/h, kilometres and metres until the units set them; a
    // code that names no unit takes those of km/h and kilometres.
    Bounds deadbandBounds_{0, 50};
    Bounds radiusBounds_{0, 999};
    Bounds goalBounds_{0, 350};
    Bounds loggingIntervalBounds_{kMinLoggingInterval, kMaxLoggingInterval};
    std::array<ValueBox, 5> boxes_{};
    bool validating_ = false;
    // The labels as the template has them, for a code that names no unit.
    struct TemplateLabels {
        QString deadband;
        QString arrival;
        QString approach;
    } templateLabels_;
    std::uint8_t choiceCode_ = 0;
    std::uint8_t modeCode_ = 0;
    std::uint8_t overshoot_ = 0;
};

}  // namespace vantor
