#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "link/InstrumentLink.h"
#include "logs/LogDirectory.h"
#include "logs/LogTransfer.h"
#include "ui/BackgroundTask.h"
#include "ui/SettingsReceiver.h"

namespace Ui {
class FlightLogsDialog;
}

namespace vantor {

class Prompts;

// "Transfer Flight Logs": the instrument's logs, their download on a worker
// thread, the check of saved files and the clearing of the logs.
class FlightLogsDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    // The command that clears every log; no control carries it.
    static constexpr int kClearLogsCommand = 1026;

    explicit FlightLogsDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~FlightLogsDialog() override;

    void setPortAndMinimumTime(const std::string& portName, std::uint32_t minutes);
    void receiveSettings(const std::string& portName, std::uint32_t minutes) override {
        setPortAndMinimumTime(portName, minutes);
    }
    void refreshLogList();
    void command(int id);

    const LogDirectory& directory() const { return directory_; }
    const std::vector<int>& listMap() const { return listMap_; }
    int listedCount() const { return static_cast<int>(listMap_.size()); }
    const char* instrumentSerial() const { return instrumentSerial_.data(); }
    std::int32_t minLogSeconds() const { return minLogSeconds_; }
    BackgroundTask& task() { return task_; }
    Ui::FlightLogsDialog& ui() { return *ui_; }

    void setVisible(bool visible) override;

private:
    void saveSelected();
    void saveAll();
    bool startTransfer(int logNumber, const std::string& path, bool binary);
    void verifyFiles();

    class StatusLine;

    Prompts& prompts_;
    std::unique_ptr<Ui::FlightLogsDialog> ui_;
    LogDirectory directory_;
    std::vector<int> listMap_;
    std::array<char, 4> instrumentSerial_{};
    std::int32_t minLogSeconds_ = 0;
    std::string portName_;
    InstrumentLink link_;
    std::unique_ptr<StatusLine> status_;
    BackgroundTask task_;
};

}  // namespace vantor
