#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "link/InstrumentLink.h"
#include "records/GliderPolar.h"
#include "ui/SettingsReceiver.h"

class QLineEdit;

namespace Ui {
class GliderDialog;
}

namespace vantor {

class Prompts;

// "Edit Glider Configuration": the glider's values, fetched from the
// instrument at every opening, sent back, and kept in polar files. The values
// belong to this dialog for the whole run.
class GliderDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    explicit GliderDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~GliderDialog() override;

    void receiveSettings(const std::string& portName, std::uint32_t) override {
        portName_ = portName;
    }

    const GliderPolar& polar() const { return polar_; }
    GliderPolar& polar() { return polar_; }
    Ui::GliderDialog& ui() { return *ui_; }

    // What opening the dialog does, before it is shown.
    void initialise();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The fields into the controls, and back with validation (false after the
    // validation message).
    void showFields();
    bool readControls();
    // Before a send or a save: the controls, and the wing area as the box
    // shows it, within what the instrument keeps.
    bool readForTransfer();
    // The validation message, and the box to mend.
    void refuse(QLineEdit* edit, const std::string& text);
    void showLock();
    bool askLock();
    void fetch();
    void send();
    void loadPolarFile();
    void savePolarFile();
    void onLockClicked();
    void onWingAreaChanged();

    Prompts& prompts_;
    std::unique_ptr<Ui::GliderDialog> ui_;
    GliderPolar polar_;
    std::string portName_;
    InstrumentLink link_;
    bool showing_ = false;
    bool wingAreaUnread_ = false;  // the last wing area edit was not taken
};

}  // namespace vantor
