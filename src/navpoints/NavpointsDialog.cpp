#include "navpoints/NavpointsDialog.h"

#include <QListWidget>
#include <cstdio>
#include <filesystem>

#include "base/Prompts.h"
#include "navpoints/CupFile.h"
#include "navpoints/NavpointFile.h"
#include "navpoints/NavpointTransfer.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui/QtPrompts.h"
#include "ui_NavpointsDialog.h"

namespace vantor {

namespace {

// Names are single-byte text; Latin-1 takes every byte there and back.
QString listText(std::string_view name) {
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// Message boxes read their text as UTF-8; the navpoint texts in it are Latin-1.
std::string utf8FromLatin1(std::string_view latin1) {
    return listText(latin1).toUtf8().toStdString();
}

}  // namespace

// What the worker shows, carried out on the user-interface thread.
class NavpointsDialog::StatusLine : public NavpointTransferObserver {
public:
    explicit StatusLine(NavpointsDialog& dialog) : dialog_(dialog) {}
    void setStatus(const std::string& text) override {
        dialog_.background_.post(
            [d = &dialog_, t = QString::fromStdString(text)] { d->ui_->statusText->setText(t); });
    }
    // The table is whole and the worker no longer writes it.
    void navpointsReceived() override {
        dialog_.background_.post([d = &dialog_] { d->fillNavpointList(); });
    }

private:
    NavpointsDialog& dialog_;
};

NavpointsDialog::NavpointsDialog(Prompts& prompts, NavpointTable& table, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      table_(table),
      ui_(std::make_unique<Ui::NavpointsDialog>()),
      link_(prompts),
      status_(std::make_unique<StatusLine>(*this)),
      background_(*this) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->fromFileButton, &QPushButton::clicked, this, [this] { readFile(); });
    connect(ui_->toFileButton, &QPushButton::clicked, this, [this] { writeFile(); });
    connect(ui_->fromVantorButton, &QPushButton::clicked, this, [this] { startDownload(); });
    connect(ui_->toVantorButton, &QPushButton::clicked, this, [this] { startUpload(); });
    connect(ui_->addButton, &QPushButton::clicked, this, [this] { addPoint(); });
    connect(ui_->deleteButton, &QPushButton::clicked, this, [this] { removePoint(); });
    connect(ui_->taskToVantorButton, &QPushButton::clicked, this, [this] { sendDeclaration(); });
    connect(ui_->taskFromVantorButton, &QPushButton::clicked, this, [this] { fetchDeclaration(); });
    connect(ui_->dudeButton, &QPushButton::clicked, this, [this] { sendSelected(); });
    connect(ui_->navpointList, &QListWidget::itemDoubleClicked, this, [this] { showNavpoint(); });
    connect(ui_->taskList, &QListWidget::itemDoubleClicked, this, [this] { showTaskPoint(); });
    connect(ui_->upButton, &QPushButton::clicked, this, [this] { movePoint(-1); });
    connect(ui_->downButton, &QPushButton::clicked, this, [this] { movePoint(1); });

    // The two lists share what the window grows by; buttons keep their size.
    using A = GrowingLayout::Anchor;
    auto* layout = new GrowingLayout(this);
    for (QWidget* w : {ui_->fromVantorButton, ui_->toVantorButton})
        layout->setAnchor(w, {0, 1, 0, 0});
    layout->setAnchor(ui_->navpointsLabel, A{});
    layout->setAnchor(ui_->fromFileButton, A{});
    layout->setAnchor(ui_->toFileButton, A{});
    layout->setAnchor(ui_->navpointList, {0, 0, 0.5, 1});
    for (QWidget* w :
         {static_cast<QWidget*>(ui_->addButton), static_cast<QWidget*>(ui_->deleteButton),
          static_cast<QWidget*>(ui_->upButton), static_cast<QWidget*>(ui_->downButton),
          static_cast<QWidget*>(ui_->dudeButton)}) {
        layout->setAnchor(w, {0.5, 0.5, 0, 0});
    }
    layout->setAnchor(ui_->taskLabel, {0.5, 0, 0, 0});
    layout->setAnchor(ui_->taskList, {0.5, 0, 0.5, 1});
    for (QWidget* w : {ui_->taskFromVantorButton, ui_->taskToVantorButton}) {
        layout->setAnchor(w, {0.5, 1, 0, 0});
    }
    layout->setAnchor(ui_->statusText, {0, 1, 1, 0});
}

NavpointsDialog::~NavpointsDialog() = default;

void NavpointsDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        // Each opening starts a new task; the navpoints stay.
        declaration_.count = 0;
        fillNavpointList();
        fillTaskList();
    }
    QDialog::setVisible(visible);
}

void NavpointsDialog::fillNavpointList() {
    ui_->navpointList->clear();
    for (int i = 0; i < table_.count; ++i) {
        const Navpoint& p = table_.entries[static_cast<std::size_t>(i)];
        auto* item = new QListWidgetItem(listText(p.nameText()));
        // Where it is, at a glance, without opening its details.
        item->setToolTip(QStringLiteral("%1 %2, %3 m")
                             .arg(QString::fromStdString(
                                      formatCoordinate(p.latitude, true, CoordinateForm::File)),
                                  QString::fromStdString(
                                      formatCoordinate(p.longitude, false, CoordinateForm::File)))
                             .arg(p.altitude));
        ui_->navpointList->addItem(item);
    }
}

void NavpointsDialog::fillTaskList() {
    ui_->taskList->clear();
    for (int i = 0; i < declaration_.count; ++i) {
        ui_->taskList->addItem(
            listText(declaration_.points[static_cast<std::size_t>(i)].nameText()));
    }
}

std::string NavpointsDialog::selectedName() const {
    const QListWidgetItem* item = ui_->navpointList->currentItem();
    return item ? item->text().toLatin1().toStdString() : std::string();
}

void NavpointsDialog::readFile() {
    if (background_.running()) return;
    FileChoice choice;
    choice.filter = kFileFilter;
    choice.initialFolder = fileFolder_;
    choice.mustExist = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseOpenFile(choice);
    if (!path) return;
    fileFolder_ = *path;
    lastFile_ = *path;
    if (isCupPath(*path)) {
        readCup(*path);
        return;
    }
    NavpointFileRead read;
    {
        WaitCursor wait(prompts_);
        read = readNavpointFile(*path, table_);
    }
    if (!read) {
        // The table is as it was, and so is the list.
        prompts_.message("Error retrieving file.", "", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    fillNavpointList();
    // Said for this file only; a good file clears what an earlier one left.
    ui_->statusText->setText(
        read.skipped > 0 ? QString::fromStdString(skippedLinesText(read.skipped)) : QString());
}

// A CUP file's waypoints replace the table only when there are some; its
// first task, if it has one, is offered for the task list.
void NavpointsDialog::readCup(const std::string& path) {
    CupFileRead read;
    {
        WaitCursor wait(prompts_);
        read = readCupFile(path, table_);
    }
    if (!read) {
        prompts_.message("Error retrieving file.", "", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    if (read.waypoints == 0) {
        prompts_.message(
            "This CUP file holds no waypoint that could be read.\nThe navpoints are "
            "as they were.",
            "Error", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    fillNavpointList();
    ui_->statusText->setText(
        read.skipped > 0 ? QString::fromStdString(skippedLinesText(read.skipped)) : QString());
    if (read.tasks.empty()) return;
    const CupTask& first = read.tasks.front();
    const std::size_t points = first.names.size();
    const std::string question = "Take the file's task \"" + first.description + "\" (" +
                                 std::to_string(points) + (points == 1 ? " point" : " points") +
                                 ") into the task list?";
    if (prompts_.message(question, "Task", Buttons::YesNo, Icon::Question, ownerOf(this)) !=
        Answer::Yes) {
        return;
    }
    std::string problem;
    if (const auto task = cupTaskDeclaration(first, table_, problem)) {
        declaration_ = *task;
        fillTaskList();
    } else {
        prompts_.message(problem, "Error", Buttons::Ok, Icon::None, ownerOf(this));
    }
}

void NavpointsDialog::writeFile() {
    if (background_.running()) return;
    FileChoice choice;
    choice.initialName = lastFile_;
    choice.filter = kFileFilter;
    choice.defaultExtension = "dat";
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto chosen = prompts_.chooseSaveFile(choice);
    if (!chosen) return;
    // A name without an extension gets ".dat", so "From File" lists it.
    std::filesystem::path path(*chosen);
    if (!path.has_extension()) path += ".dat";
    const bool written = isCupPath(path.string()) ? writeCupFile(path.string(), table_)
                                                  : writeNavpointFile(path.string(), table_);
    if (!written) {
        prompts_.message("Could not open file for writing.", "Error", Buttons::Ok, Icon::None,
                         ownerOf(this));
        return;
    }
    fileFolder_ = path.string();
    lastFile_ = path.string();
}

void NavpointsDialog::startDownload() {
    WaitCursor wait(prompts_);
    background_.start([this, port = portName_] {
        NavpointTransfer transfer(link_, prompts_, *status_, ownerOf(this));
        transfer.download(port, table_);
    });
}

void NavpointsDialog::startUpload() {
    if (background_.running()) return;
    if (table_.count > kInstrumentNavpoints) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The Vantor Series only holds %d Navpoints.\nNot all navpoints will be "
                      "loaded.\nWould you like to continue?",
                      kInstrumentNavpoints);
        if (prompts_.message(text, "Warning!!!", Buttons::YesNo, Icon::Warning, ownerOf(this)) ==
            Answer::No) {
            return;
        }
    }
    // The upload clears the instrument's navpoints first.
    const std::string question = "Replace the navpoints in the instrument with the " +
                                 std::to_string(table_.count) + " in the list?";
    if (prompts_.message(question, "To Vantor", Buttons::YesNo, Icon::Question, ownerOf(this)) !=
        Answer::Yes) {
        return;
    }
    WaitCursor wait(prompts_);
    background_.start([this, port = portName_] {
        NavpointTransfer transfer(link_, prompts_, *status_, ownerOf(this));
        transfer.upload(port, table_);
    });
}

void NavpointsDialog::addPoint() {
    if (!ui_->navpointList->currentItem()) return;
    if (declaration_.add(table_, selectedName(), prompts_, ownerOf(this))) fillTaskList();
}

void NavpointsDialog::removePoint() {
    if (declaration_.remove(ui_->taskList->currentRow())) fillTaskList();
}

void NavpointsDialog::movePoint(int step) {
    const int row = ui_->taskList->currentRow();
    if (!declaration_.move(row, step)) return;
    fillTaskList();
    ui_->taskList->setCurrentRow(row + step);
}

void NavpointsDialog::sendDeclaration() {
    if (background_.running()) return;
    declaration_.send(link_, prompts_, portName_, ownerOf(this));
}

void NavpointsDialog::fetchDeclaration() {
    if (background_.running()) return;
    declaration_.fetch(link_, prompts_, portName_, ownerOf(this));
    fillTaskList();
}

void NavpointsDialog::showNavpoint() {
    if (background_.running() || !ui_->navpointList->currentItem()) return;
    const int index = table_.find(selectedName());
    if (index < 0) return;
    const Navpoint& p = table_.entries[static_cast<std::size_t>(index)];
    const std::string text = std::to_string(p.number) + " " + std::string(p.nameText()) + "\n" +
                             formatCoordinate(p.latitude, true, CoordinateForm::File) + "\n" +
                             formatCoordinate(p.longitude, false, CoordinateForm::File) + "\n" +
                             std::to_string(p.altitude) + "\n" + std::string(p.commentText());
    prompts_.message(utf8FromLatin1(text), "Waypoint", Buttons::Ok, Icon::None, ownerOf(this));
}

void NavpointsDialog::showTaskPoint() {
    const int row = ui_->taskList->currentRow();
    if (row < 0 || row >= declaration_.count) return;
    const Navpoint& p = declaration_.points[static_cast<std::size_t>(row)];
    const std::string text = std::string(p.nameText()) + "\n" +
                             formatCoordinate(p.latitude, true, CoordinateForm::File) + "\n" +
                             formatCoordinate(p.longitude, false, CoordinateForm::File);
    prompts_.message(utf8FromLatin1(text), "Declaration", Buttons::Ok, Icon::None, ownerOf(this));
}

void NavpointsDialog::sendSelected() {
    if (background_.running()) return;
    if (!ui_->navpointList->currentItem()) {
        prompts_.message("That sucks", "Nothing Selected", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    const int index = table_.find(selectedName());
    if (index < 0) return;
    std::string line =
        navpointCommandLine("!n", 0, table_.entries[static_cast<std::size_t>(index)]);
    if (!link_.open(portName_, 4800, 100)) {
        prompts_.message("No Com", "Error", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    link_.sendNmeaSentence(line);
    link_.close();
}

}  // namespace vantor
