#pragma once

#include <QDialog>
#include <QRect>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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
    // A list line's item data: true when its log is already in the download folder.
    static constexpr int kSavedRole = Qt::UserRole + 1;

    explicit FlightLogsDialog(Prompts& prompts, QWidget* parent = nullptr);
    ~FlightLogsDialog() override;

    void setPortAndMinimumTime(const std::string& portName, std::uint32_t minutes);
    void receiveSettings(const std::string& portName, std::uint32_t minutes) override {
        setPortAndMinimumTime(portName, minutes);
    }
    void refreshLogList();
    void command(int id);
    // The instrument may have been plugged in on `port`: where it answers,
    // every log not yet in the download folder is fetched in one connection
    // and one box says what was saved. Nothing happens where none answers,
    // or while a transfer runs.
    void downloadWhenPluggedIn(const std::string& port);

    // The folder "Download New" fills and a transfer of several logs starts
    // in; the documents folder until the pilot chose one.
    void setDownloadFolder(const std::string& folder);
    const std::string& downloadFolder() const { return downloadFolder_; }
    // Told whenever the pilot chose another download folder, to keep it.
    void onDownloadFolderChanged(std::function<void(const std::string&)> f) {
        downloadFolderChanged_ = std::move(f);
    }
    // Shows a saved flight: after a download of an IGC log, and from "View
    // Flight". Given the file and its check's text.
    using FlightViewer =
        std::function<void(const std::string& path, const std::string& verification)>;
    void setFlightViewer(FlightViewer viewer) { flightViewer_ = std::move(viewer); }

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
    // The folder of a file the pilot saved becomes the download folder.
    void useDownloadFolder(const std::string& folder);
    bool isSaved(int index) const;
    void markSavedLogs();
    void saveAll();
    void downloadNew();
    void viewFlight();
    bool startTransfer(int logNumber, const std::string& path, bool binary);
    // Several logs in one connection, then one box that says what was saved.
    bool startBatch(std::vector<LogTransferRequest> requests, const std::string& caption);
    void showBatchResult(const LogBatchResult& result, const std::string& caption);
    void verifyFiles();
    std::vector<int> selectedRows() const;
    std::string shortName(int index, bool binary) const;

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
    std::atomic<bool> cancel_{false};
    std::string downloadFolder_;
    std::function<void(const std::string&)> downloadFolderChanged_;
    FlightViewer flightViewer_;
    BackgroundTask task_;
};

}  // namespace vantor
