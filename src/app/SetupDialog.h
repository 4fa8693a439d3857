#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/AppSettings.h"
#include "link/SerialPortList.h"

class QRadioButton;

namespace Ui {
class SetupDialog;
}

namespace vantor {

class BackgroundTask;
class Prompts;

// "Setup": the serial port and the minimum flight log time. The committed
// settings live here; the dialog edits working copies that OK commits.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit SetupDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~SetupDialog() override;

    const AppSettings& settings() const { return settings_; }
    const std::string& portName() const { return settings_.portName; }
    std::uint32_t minFlightLogTime() const { return settings_.minFlightLogTime; }

    std::int32_t pendingComPort() const { return pendingComPort_; }
    std::uint32_t pendingMinFlightLogTime() const { return pendingMinFlightLogTime_; }
    Ui::SetupDialog& ui() { return *ui_; }

    // What opening the dialog does, before it is shown.
    void initialise();

    // The serial ports present; tests hand in their own.
    using PortSource = std::function<std::vector<SerialPortInfo>()>;
    void setPortSource(PortSource source) { portSource_ = std::move(source); }
    // The port chosen from the list, empty while a COM port is chosen.
    const std::string& pendingDevice() const { return pendingDevice_; }
    // "Find Instrument": every listed port is probed on a worker; the first
    // that answers is selected.
    void findInstrument();
    BackgroundTask& findTask() { return *findTask_; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void synchronisePorts();
    void onPortClicked(int port);
    void onOtherLostFocus();
    void onDeltaPos(int delta);
    // Takes a typed minimum time (0 to 30) into pendingMinFlightLogTime; false
    // when it is none, after the validation message unless quiet.
    bool readMinTime(bool quiet);
    // Reads edit 1022 into otherPortNumber; false (after the validation
    // message) when it holds no number.
    bool readControls();
    void writeOtherPort();
    void updateTooltips();
    void fillPortList();
    void choosePortFromList(int index);

    Prompts& prompts_;
    std::unique_ptr<Ui::SetupDialog> ui_;
    AppSettings settings_;
    std::int32_t pendingComPort_ = 1;
    std::uint32_t pendingMinFlightLogTime_ = 5;
    std::uint32_t otherPortNumber_ = 1;
    bool validating_ = false;
    std::string pendingDevice_;
    PortSource portSource_;
    std::unique_ptr<BackgroundTask> findTask_;
};

}  // namespace vantor
