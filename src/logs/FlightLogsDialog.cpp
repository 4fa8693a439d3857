#include "logs/FlightLogsDialog.h"

#include <QListWidget>
#include <QProgressBar>
#include <QResizeEvent>
#include <QStandardPaths>
#include <algorithm>
#include <filesystem>

#include "base/Prompts.h"
#include "link/InstrumentFinder.h"
#include "logs/FlightWindow.h"
#include "ui/DialogUnits.h"
#include "ui/QtPrompts.h"
#include "ui_FlightLogsDialog.h"

namespace vantor {

namespace {
constexpr const char* kIgcFilter = "IGC Flight Log Files (*.igc)|*.igc||";
constexpr const char* kBinaryFilter = "TVK Binary Log Files (*.tvk)|*.tvk||";
}  // namespace

// The worker's status texts and progress, shown by the user-interface thread.
class FlightLogsDialog::StatusLine : public LogTransferObserver {
public:
    explicit StatusLine(FlightLogsDialog& dialog) : dialog_(dialog) {}
    void setStatus(const std::string& text) override {
        dialog_.task_.post(
            [d = &dialog_, t = QString::fromStdString(text)] { d->ui_->statusText->setText(t); });
    }
    void setProgress(long long done, long long total) override {
        // The bar counts in int; a long binary log is shown in kilobytes.
        const int shift = total > (1LL << 30) ? 10 : 0;
        dialog_.task_.post([d = &dialog_, done = static_cast<int>(done >> shift),
                            total = static_cast<int>(total >> shift)] {
            d->ui_->progressBar->setRange(0, std::max(total, 1));
            d->ui_->progressBar->setValue(total > 0 ? done : 1);
        });
    }
    void startLog(int number, int count, const LogTransferRequest&) override {
        dialog_.task_.post([d = &dialog_, number, count] {
            d->ui_->progressBar->setFormat(
                QStringLiteral("Log %1 of %2: %p%").arg(number).arg(count));
        });
    }

private:
    FlightLogsDialog& dialog_;
};

FlightLogsDialog::FlightLogsDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::FlightLogsDialog>()),
      link_(prompts),
      status_(std::make_unique<StatusLine>(*this)),
      task_(*this) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->logList, &QListWidget::itemDoubleClicked, this, [this] { saveSelected(); });
    connect(ui_->transferButton, &QPushButton::clicked, this, [this] { saveSelected(); });
    connect(ui_->allButton, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(ui_->verifyButton, &QPushButton::clicked, this, [this] { verifyFiles(); });
    connect(ui_->downloadNewButton, &QPushButton::clicked, this, [this] { downloadNew(); });
    connect(ui_->viewFlightButton, &QPushButton::clicked, this, [this] { viewFlight(); });
    connect(ui_->cancelButton, &QPushButton::clicked, this, [this] {
        if (task_.running()) cancel_ = true;
    });
    ui_->cancelButton->setEnabled(false);
    ui_->cancelButton->setAutoDefault(false);
    ui_->progressBar->setValue(0);
    task_.keepEnabled(ui_->cancelButton);
    flightViewer_ = [this](const std::string& path, const std::string& verification) {
        showFlightWindow(path, verification, this);
    };

    templateSize_ = size();
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow()) templateGeometry_.emplace_back(w, w->geometry());
    }
    setMinimumSize(templateSize_);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(true);
    setDownloadFolder({});
}

FlightLogsDialog::~FlightLogsDialog() = default;

void FlightLogsDialog::setPortAndMinimumTime(const std::string& portName, std::uint32_t minutes) {
    portName_ = portName;
    minLogSeconds_ = static_cast<std::int32_t>(minutes * 60);
}

void FlightLogsDialog::setDownloadFolder(const std::string& folder) {
    downloadFolder_ = folder;
    if (downloadFolder_.empty()) {
        downloadFolder_ =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    }
}

void FlightLogsDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int dw = std::max(0, width() - templateSize_.width());
    const int dh = std::max(0, height() - templateSize_.height());
    for (const auto& [w, r] : templateGeometry_) {
        QRect g = r;
        if (w == ui_->logList) {
            g.setSize(r.size() + QSize(dw, dh));
        } else if (w == ui_->selectLabel) {
            g.setWidth(r.width() + dw);
        } else {
            // Below the list: down by what the list grew; the right-hand
            // column keeps to the right edge, full-width lines widen.
            g.translate(0, dh);
            if (w == ui_->statusText || w == ui_->progressBar) {
                g.setWidth(r.width() + dw);
            } else if (r.left() > templateSize_.width() / 2) {
                g.translate(dw, 0);
            }
        }
        w->setGeometry(g);
    }
}

void FlightLogsDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // Each opening reads the directory before the dialog appears.
        ui_->binaryCheck->setChecked(false);
        ui_->binaryCheck->hide();
        ui_->allButton->hide();
        refreshLogList();
    }
    QDialog::setVisible(visible);
}

void FlightLogsDialog::refreshLogList() {
    listMap_.clear();
    WaitCursor wait(prompts_);
    ui_->logList->clear();
    LogListing listing;
    if (readLogDirectory(link_, prompts_, portName_, directory_, instrumentSerial_,
                         ownerOf(this))) {
        listing = buildListing(directory_, minLogSeconds_);
    } else {
        // Nothing was listed, so nothing stands for a log.
        directory_.count = 0;
    }
    // Labels are the instrument's single-byte text.
    for (const auto& line : listing.lines) {
        ui_->logList->addItem(
            QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    }
    listMap_ = listing.listMap;
}

std::vector<int> FlightLogsDialog::selectedRows() const {
    // Only lines the pilot can see selected count: the list keeps a current
    // row once it has had the focus, with nothing selected.
    std::vector<int> rows;
    for (const QListWidgetItem* item : ui_->logList->selectedItems()) {
        const int row = ui_->logList->row(item);
        if (row >= 0 && row < listedCount()) rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string FlightLogsDialog::shortName(int index, bool binary) const {
    return logShortFileName(directory_, index, instrumentSerial_.data(), minLogSeconds_, binary);
}

void FlightLogsDialog::saveSelected() {
    if (listMap_.empty() || task_.running()) return;
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const bool binary = ui_->binaryCheck->isChecked();
    if (rows.size() > 1) {
        // Several logs: one folder for all, each under its short name.
        FileChoice choice;
        choice.title = "Save the Flight Logs in";
        choice.initialFolder = downloadFolder_;
        choice.owner = ownerOf(this);
        const auto folder = prompts_.chooseFolder(choice);
        if (!folder) return;
        if (*folder != downloadFolder_) {
            downloadFolder_ = *folder;
            if (downloadFolderChanged_) downloadFolderChanged_(downloadFolder_);
        }
        std::vector<LogTransferRequest> requests;
        for (int row : rows) {
            const int index = listMap_[static_cast<std::size_t>(row)];
            requests.push_back(
                {index, binary,
                 (std::filesystem::path(*folder) / shortName(index, binary)).string()});
        }
        repaint();
        startBatch(std::move(requests), "Transfer Flight Logs");
        return;
    }
    const int index = listMap_[static_cast<std::size_t>(rows.front())];
    FileChoice choice;
    choice.filter = binary ? kBinaryFilter : kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialName = shortName(index, binary);
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    repaint();
    startTransfer(index, *path, binary);
}

void FlightLogsDialog::downloadNew() {
    if (task_.running()) return;
    const bool binary = ui_->binaryCheck->isChecked();
    std::vector<LogTransferRequest> requests;
    for (int index : listMap_) {
        const std::filesystem::path path =
            std::filesystem::path(downloadFolder_) / shortName(index, binary);
        std::error_code error;
        if (!std::filesystem::exists(path, error))
            requests.push_back({index, binary, path.string()});
    }
    if (requests.empty()) {
        prompts_.message(listMap_.empty() ? std::string("No flight logs are listed.")
                                          : "No new flight logs: every listed log is already in\n" +
                                                downloadFolder_,
                         "Download New", Buttons::Ok, Icon::Information, ownerOf(this));
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(downloadFolder_, error);
    startBatch(std::move(requests), "Download New");
}

void FlightLogsDialog::downloadWhenPluggedIn(const std::string& port) {
    if (task_.running()) return;
    struct Outcome {
        bool listed = false;
        LogBatchResult result;
    };
    auto outcome = std::make_shared<Outcome>();
    cancel_ = false;
    ui_->progressBar->setValue(0);
    task_.start(
        [this, port, outcome, folder = downloadFolder_, minSeconds = minLogSeconds_] {
            if (!findInstrument({port}, prompts_)) return;
            LogDirectory directory;
            std::array<char, 4> serial{};
            if (!readLogDirectory(link_, prompts_, port, directory, serial, ownerOf(this))) return;
            outcome->listed = true;
            auto requests = newLogRequests(directory, serial.data(), minSeconds, folder, false);
            if (requests.empty()) return;
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            LogTransfer worker(link_, prompts_, *status_, ownerOf(this));
            worker.setCancelFlag(&cancel_);
            outcome->result = worker.runBatch(requests, port, verificationText);
        },
        [this, outcome] {
            ui_->progressBar->setFormat(QStringLiteral("%p%"));
            if (!outcome->listed) return;
            if (outcome->result.items.empty()) {
                prompts_.message(
                    "No new flight logs: every listed log is already in\n" + downloadFolder_,
                    "Download New", Buttons::Ok, Icon::Information, ownerOf(this));
                return;
            }
            showBatchResult(outcome->result, "Download New");
        });
}

void FlightLogsDialog::viewFlight() {
    if (task_.running()) return;
    FileChoice choice;
    choice.filter = kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialFolder = downloadFolder_;
    choice.mustExist = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseOpenFile(choice);
    if (!path || !flightViewer_) return;
    flightViewer_(*path, verificationText(*path));
}

void FlightLogsDialog::saveAll() {
    if (task_.running()) return;
    FileChoice choice;
    choice.filter = kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialName = "AllFile.All";
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    repaint();
    startTransfer(kAllLogs, *path, ui_->binaryCheck->isChecked());
}

bool FlightLogsDialog::startTransfer(int logNumber, const std::string& path, bool binary) {
    const LogTransferRequest request{logNumber, binary, path};
    LogTransfer transfer(link_, prompts_, *status_, ownerOf(this));
    if (!transfer.prepare(request)) return false;
    cancel_ = false;
    ui_->progressBar->setFormat(QStringLiteral("%p%"));
    ui_->progressBar->setValue(0);
    auto outcome = std::make_shared<TransferOutcome>(TransferOutcome::Failed);
    return task_.start(
        [this, request, outcome, port = portName_] {
            LogTransfer worker(link_, prompts_, *status_, ownerOf(this));
            worker.setCancelFlag(&cancel_);
            *outcome = worker.run(request, port, verificationText);
        },
        [this, request, outcome] {
            if (*outcome == TransferOutcome::Saved && !request.binary &&
                request.logNumber != kAllLogs && flightViewer_) {
                flightViewer_(request.path, verificationText(request.path));
            }
        });
}

bool FlightLogsDialog::startBatch(std::vector<LogTransferRequest> requests,
                                  const std::string& caption) {
    cancel_ = false;
    ui_->progressBar->setValue(0);
    auto result = std::make_shared<LogBatchResult>();
    return task_.start(
        [this, requests = std::move(requests), result, port = portName_] {
            LogTransfer worker(link_, prompts_, *status_, ownerOf(this));
            worker.setCancelFlag(&cancel_);
            *result = worker.runBatch(requests, port, verificationText);
        },
        [this, result, caption] {
            ui_->progressBar->setFormat(QStringLiteral("%p%"));
            showBatchResult(*result, caption);
        });
}

void FlightLogsDialog::showBatchResult(const LogBatchResult& result, const std::string& caption) {
    // A connection that failed has said so already.
    if (!result.connected) return;
    auto nameOf = [](const LogTransferRequest& r) {
        return std::filesystem::path(r.path).filename().string();
    };
    const int saved = result.savedCount();
    std::string text = "Saved " + std::to_string(saved) + " of " +
                       std::to_string(result.items.size()) +
                       (result.items.size() == 1 ? " flight log" : " flight logs");
    if (saved > 0) {
        text += " in\n" +
                std::filesystem::path(result.items.front().request.path).parent_path().string();
    }
    text += ".";
    for (const auto& item : result.items) {
        if (item.outcome != TransferOutcome::Saved || item.verification.empty()) continue;
        std::string lines = item.verification;
        while (!lines.empty() && lines.back() == '\n') lines.pop_back();
        std::replace(lines.begin(), lines.end(), '\n', ',');
        text += "\n" + nameOf(item.request) + ": " + lines;
    }
    bool anyFailed = false;
    for (const auto& item : result.items) {
        if (item.outcome != TransferOutcome::Failed) continue;
        if (!anyFailed) text += "\n\nNot saved:";
        anyFailed = true;
        std::string problem = item.problem;
        std::replace(problem.begin(), problem.end(), '\n', ' ');
        text += "\n" + nameOf(item.request) + ": " + problem;
    }
    if (result.cancelled) text += "\n\nThe download was cancelled.";
    prompts_.message(text, caption, Buttons::Ok, anyFailed ? Icon::Warning : Icon::Information,
                     ownerOf(this));
}

void FlightLogsDialog::verifyFiles() {
    WaitCursor wait(prompts_);
    FileChoice choice;
    choice.filter = kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialName = "*.igc";
    choice.initialFolder = "\\My Documents\\";
    choice.mustExist = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseOpenFile(choice);
    if (!path) return;
    const std::string text = verificationText(*path);
    if (text.empty()) return;  // the file could not be read
    prompts_.message(text, "Verification", Buttons::Ok, Icon::None, ownerOf(this));
}

void FlightLogsDialog::command(int id) {
    if (id != kClearLogsCommand || task_.running()) return;
    const ClearResult result = clearAllLogs(link_, prompts_, portName_, ownerOf(this));
    // Unanswered or not, the list shows what the instrument holds now.
    if (result == ClearResult::Sent || result == ClearResult::NotAnswered) refreshLogList();
}

}  // namespace vantor
