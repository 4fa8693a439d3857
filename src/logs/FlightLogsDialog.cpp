#include "logs/FlightLogsDialog.h"

#include <QIcon>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QResizeEvent>
#include <QStandardPaths>
#include <QStyle>
#include <algorithm>
#include <filesystem>

#include "base/Prompts.h"
#include "link/InstrumentFinder.h"
#include "logs/FlightWindow.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
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

    // The list takes what the window grows by; the controls below it move
    // down, the right-hand column keeps to the right edge and the full-width
    // lines widen.
    auto* layout = new GrowingLayout(this);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue;
        if (w == ui_->logList) {
            layout->setAnchor(w, GrowingLayout::kGrow);
        } else if (w == ui_->selectLabel) {
            layout->setAnchor(w, GrowingLayout::kGrowWidth);
        } else if (w == ui_->statusText || w == ui_->progressBar || w == ui_->hiddenText) {
            layout->setAnchor(w, GrowingLayout::kMoveDownWiden);
        } else if (w->x() > layout->templateSize().width() / 2) {
            layout->setAnchor(w, GrowingLayout::kMoveRightDown);
        } else {
            layout->setAnchor(w, GrowingLayout::kMoveDown);
        }
    }
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
    markSavedLogs();
}

void FlightLogsDialog::useDownloadFolder(const std::string& folder) {
    if (folder.empty() || folder == downloadFolder_) return;
    setDownloadFolder(folder);
    if (downloadFolderChanged_) downloadFolderChanged_(downloadFolder_);
}

bool FlightLogsDialog::isSaved(int index) const {
    std::error_code error;
    for (bool binary : {false, true}) {
        if (std::filesystem::exists(
                std::filesystem::path(downloadFolder_) / shortName(index, binary), error)) {
            return true;
        }
    }
    return false;
}

void FlightLogsDialog::markSavedLogs() {
    // An icon, so the line itself reads as the instrument gives it. Lines
    // without one get an empty picture of the same size to stay aligned.
    const int side = ui_->logList->fontMetrics().height();
    ui_->logList->setIconSize(QSize(side, side));
    QPixmap blank(side, side);
    blank.fill(Qt::transparent);
    const QIcon savedIcon = style()->standardIcon(QStyle::SP_DialogApplyButton);
    const QString tip = QStringLiteral("Saved in %1").arg(QString::fromStdString(downloadFolder_));
    for (int row = 0; row < listedCount() && row < ui_->logList->count(); ++row) {
        QListWidgetItem* item = ui_->logList->item(row);
        const bool saved = isSaved(listMap_[static_cast<std::size_t>(row)]);
        item->setData(kSavedRole, saved);
        item->setIcon(saved ? savedIcon : QIcon(blank));
        item->setToolTip(saved ? tip : QString());
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
    // What an earlier download said is not about this list.
    ui_->statusText->clear();
    ui_->progressBar->setValue(0);
    ui_->hiddenText->clear();
    LogListing listing;
    if (readLogDirectory(link_, prompts_, portName_, directory_, instrumentSerial_,
                         ownerOf(this))) {
        listing = buildListing(directory_, minLogSeconds_);
    } else {
        // Nothing was listed, so nothing stands for a log.
        directory_.count = 0;
    }
    // Logs left out by the minimum time are said, so none seems lost.
    const int hidden = directory_.count - static_cast<int>(listing.listMap.size());
    if (hidden > 0) {
        ui_->hiddenText->setText(
            QStringLiteral("%1 %2 of %3 minutes or less not shown")
                .arg(hidden)
                .arg(hidden == 1 ? QStringLiteral("log") : QStringLiteral("logs"))
                .arg(minLogSeconds_ / 60));
    }
    // Labels are the instrument's single-byte text.
    for (const auto& line : listing.lines) {
        ui_->logList->addItem(
            QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    }
    listMap_ = listing.listMap;
    markSavedLogs();
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
        useDownloadFolder(*folder);
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
    choice.initialFolder = downloadFolder_;
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    useDownloadFolder(std::filesystem::path(*path).parent_path().string());
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
    choice.initialFolder = downloadFolder_;
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    repaint();
    startTransfer(kAllLogs, *path, ui_->binaryCheck->isChecked());
}

bool FlightLogsDialog::startTransfer(int logNumber, const std::string& path, bool binary) {
    const LogTransferRequest request{logNumber, binary, path};
    ui_->statusText->clear();
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
            markSavedLogs();
            if (*outcome == TransferOutcome::Saved && !request.binary &&
                request.logNumber != kAllLogs && flightViewer_) {
                flightViewer_(request.path, verificationText(request.path));
            }
        });
}

bool FlightLogsDialog::startBatch(std::vector<LogTransferRequest> requests,
                                  const std::string& caption) {
    cancel_ = false;
    ui_->statusText->clear();
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
            markSavedLogs();
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
    bool anyDoubtful = false;
    for (const auto& item : result.items) {
        if (item.outcome == TransferOutcome::Saved && !item.request.binary &&
            !verificationIsFullyOk(item.verification)) {
            anyDoubtful = true;
        }
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
    prompts_.message(text, caption, Buttons::Ok,
                     anyFailed || anyDoubtful ? Icon::Warning : Icon::Information, ownerOf(this));
}

void FlightLogsDialog::verifyFiles() {
    WaitCursor wait(prompts_);
    FileChoice choice;
    choice.filter = kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialName = "*.igc";
    choice.initialFolder = downloadFolder_;
    choice.mustExist = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseOpenFile(choice);
    if (!path) return;
    const std::string text = verificationText(*path);
    if (text.empty()) return;  // the file could not be read
    prompts_.message(verificationMessage(text, *path), "Verification", Buttons::Ok,
                     verificationIsFullyOk(text) ? Icon::Information : Icon::Warning,
                     ownerOf(this));
}

void FlightLogsDialog::command(int id) {
    if (id != kClearLogsCommand || task_.running()) return;
    const ClearResult result = clearAllLogs(link_, prompts_, portName_, ownerOf(this));
    // Unanswered or not, the list shows what the instrument holds now.
    if (result == ClearResult::Sent || result == ClearResult::NotAnswered) refreshLogList();
}

}  // namespace vantor
