#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/SetupDialog.h"
#include "logs/FlightLogsDialog.h"
#include "navpoints/NavpointsDialog.h"

namespace Ui {
class MainDialog;
}

namespace vantor {

class Prompts;
class SettingsReceiver;

// The program's one window: a button per function. Every function dialog is
// built once with it and shown modally by its button, so each keeps its data
// for the whole run.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    explicit MainDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~MainDialog() override;

    // Hands the port name to every function dialog and the minimum flight log
    // time to the flight logs dialog.
    void distributeSettings();

    // How a function dialog is shown; tests replace it to drive the dialog
    // without a nested event loop.
    std::function<void(QDialog&)> runModal = [](QDialog& d) { d.exec(); };

    const std::string& portName() const { return portName_; }
    SetupDialog& setupDialog() { return setup_; }
    FlightLogsDialog& logsDialog() { return logs_; }
    NavpointsDialog& navpointsDialog() { return navpoints_; }
    Ui::MainDialog& ui() { return *ui_; }

private:
    Prompts& prompts_;
    std::unique_ptr<Ui::MainDialog> ui_;
    FlightLogsDialog logs_;
    NavpointsDialog navpoints_;
    SetupDialog setup_;
    std::string portName_;
    // Every dialog that receives the settings, in the order they get them.
    std::vector<SettingsReceiver*> settingsReceivers_;
};

}  // namespace vantor
