#include "logs/FlightLogsDialog.h"

#include <QListWidget>

#include "base/Prompts.h"
#include "ui/DialogUnits.h"
#include "ui/QtPrompts.h"
#include "ui_FlightLogsDialog.h"

namespace vantor {

namespace {
constexpr const char* kIgcFilter = "IGC Flight Log Files (*.igc)|*.igc||";
constexpr const char* kBinaryFilter = "TVK Binary Log Files (*.tvk)|*.tvk||";
}  // namespace

// The worker's status texts, shown by the user-interface thread.
class FlightLogsDialog::StatusLine : public LogTransferObserver {
public:
    explicit StatusLine(FlightLogsDialog& dialog) : dialog_(dialog) {}
    void setStatus(const std::string& text) override {
        dialog_.task_.post(
            [d = &dialog_, t = QString::fromStdString(text)] { d->ui_->statusText->setText(t); });
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
}

FlightLogsDialog::~FlightLogsDialog() = default;

void FlightLogsDialog::setPortAndMinimumTime(const std::string& portName, std::uint32_t minutes) {
    portName_ = portName;
    minLogSeconds_ = static_cast<std::int32_t>(minutes * 60);
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

void FlightLogsDialog::saveSelected() {
    if (listMap_.empty() || task_.running()) return;
    // Only a line the pilot can see selected is transferred: the list keeps a
    // current row once it has had the focus, with nothing selected.
    const auto selected = ui_->logList->selectedItems();
    if (selected.size() != 1) return;
    const int row = ui_->logList->row(selected.front());
    if (row < 0 || row >= listedCount()) return;
    const int index = listMap_[static_cast<std::size_t>(row)];
    const bool binary = ui_->binaryCheck->isChecked();
    FileChoice choice;
    choice.filter = binary ? kBinaryFilter : kIgcFilter;
    choice.defaultExtension = "igc";
    choice.initialName =
        logShortFileName(directory_, index, instrumentSerial_.data(), minLogSeconds_, binary);
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    repaint();
    startTransfer(index, *path, binary);
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
    return task_.start([this, request, port = portName_] {
        LogTransfer worker(link_, prompts_, *status_, ownerOf(this));
        worker.run(request, port, verificationText);
    });
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
