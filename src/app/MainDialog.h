#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/SetupDialog.h"
#include "config/ConfigureInstrumentDialog.h"
#include "config/UnitsDialog.h"
#include "link/InstrumentFinder.h"
#include "link/InstrumentLink.h"
#include "logs/FlightLogsDialog.h"
#include "navpoints/NavpointsDialog.h"
#include "records/GliderDialog.h"
#include "records/PilotNameDialog.h"
#include "records/PilotPreferences.h"

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

    // While "Download new flights when the instrument is plugged in" is set,
    // the port list is looked at every second; a port that appears goes to
    // the flight logs dialog, which fetches the new flights where the
    // instrument answers. Tests hand in their own port list and call
    // checkForNewPorts themselves.
    void setPortNames(std::function<std::vector<std::string>()> names) {
        portNames_ = std::move(names);
    }
    void checkForNewPorts();
    bool watchingPorts() const { return portWatcher_ != nullptr; }

    // How a function dialog is shown; tests replace it to drive the dialog
    // without a nested event loop.
    std::function<void(QDialog&)> runModal = [](QDialog& d) { d.exec(); };

    // Shows a dialog that edits the pilot preferences on a copy of the master
    // record, taken back however the dialog closes. The first such opening of
    // the run fetches the record and the instrument type. The units and
    // configure dialogs also get the instrument type.
    void editWithPreferences(QDialog& dialog, PilotPreferences& working,
                             std::int32_t* dialogInstrumentType = nullptr);
    void fetchInstrumentState();
    // The port in use and, once the instrument answered on it in this run,
    // its serial number and firmware version, below the buttons.
    void updateInstrumentText();

    const std::string& portName() const { return portName_; }
    const PilotPreferences& pilotPreferences() const { return pilotPreferences_; }
    std::int32_t instrumentType() const { return instrumentType_; }
    GliderDialog& gliderDialog() { return glider_; }
    PilotNameDialog& pilotNameDialog() { return pilotName_; }
    SetupDialog& setupDialog() { return setup_; }
    FlightLogsDialog& logsDialog() { return logs_; }
    NavpointsDialog& navpointsDialog() { return navpoints_; }
    UnitsDialog& unitsDialog() { return units_; }
    ConfigureInstrumentDialog& configureDialog() { return configure_; }
    Ui::MainDialog& ui() { return *ui_; }

private:
    // Shows a function dialog, then what it learned of the instrument.
    void showModal(QDialog& dialog);
    void watchPorts(bool on);

    Prompts& prompts_;
    std::unique_ptr<Ui::MainDialog> ui_;
    GliderDialog glider_;
    ConfigureInstrumentDialog configure_;
    InstrumentLink preferencesLink_;
    FlightLogsDialog logs_;
    UnitsDialog units_;
    PilotNameDialog pilotName_;
    NavpointsDialog navpoints_;
    SetupDialog setup_;
    std::string portName_;
    // The master pilot preferences record shared by the dialogs that edit it.
    PilotPreferences pilotPreferences_;
    std::int32_t instrumentType_ = 0;
    bool preferencesFetched_ = false;
    // Every dialog that receives the settings, in the order they get them.
    std::vector<SettingsReceiver*> settingsReceivers_;
    std::function<std::vector<std::string>()> portNames_;
    std::unique_ptr<PortWatcher> portWatcher_;
    QTimer portTimer_;
};

}  // namespace vantor
