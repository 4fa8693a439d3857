#include "records/GliderDialog.h"

#include <QCheckBox>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <algorithm>
#include <limits>

#include "base/Prompts.h"
#include "records/PilotPreferences.h"
#include "ui/DialogUnits.h"
#include "ui/GrowingLayout.h"
#include "ui/QtPrompts.h"
#include "ui_GliderDialog.h"

namespace vantor {

namespace {

constexpr const char* kFilter = "Polar Files (*.plr)|*.plr||";
constexpr const char* kLockQuestion =
    "Setting Configuration Lock will prevent adjustment of\n"
    "Electronic Total Energy, Slow Alarm, and Polar.\n"
    "Are you sure you want to Lock Configuration?";

// A signed decimal integer as a whole, blanks around it allowed.
bool parseInteger(const QString& text, std::int32_t& value) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    value = static_cast<std::int32_t>(v);
    return true;
}

std::string latin1(const QLineEdit* edit) {
    return edit->text().toLatin1().toStdString();
}

QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Like the exchange, a box whose text is already right is left alone, so the
// caret stays where the user is typing.
// A new text shows from its start.
void showText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    edit->setText(text);
    edit->setCursorPosition(0);
}

}  // namespace

GliderDialog::GliderDialog(Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::GliderDialog>()),
      link_(prompts) {
    ui_->setupUi(this);
    applyDialogUnits(this);
    new GrowingLayout(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* e : {ui_->bestGlideEdit, ui_->bestGlideSpeedEdit, ui_->v2SpeedEdit,
                         ui_->dryWeightEdit, ui_->waterEdit}) {
        e->setValidator(digits);
    }
    ui_->typeEdit->setMaxLength(GliderPolar::kTextLength);
    ui_->idEdit->setMaxLength(GliderPolar::kTextLength);
    ui_->wingAreaEdit->setMaxLength(GliderPolar::kWingAreaLength);

    connect(ui_->fromVantorButton, &QPushButton::clicked, this, [this] { fetch(); });
    connect(ui_->toVantorButton, &QPushButton::clicked, this, [this] { send(); });
    connect(ui_->fromFileButton, &QPushButton::clicked, this, [this] { loadPolarFile(); });
    connect(ui_->toFileButton, &QPushButton::clicked, this, [this] { savePolarFile(); });
    connect(ui_->lockCheck, &QCheckBox::clicked, this, [this] { onLockClicked(); });
    connect(ui_->wingAreaEdit, &QLineEdit::textChanged, this, [this] { onWingAreaChanged(); });
}

GliderDialog::~GliderDialog() = default;

void GliderDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) initialise();
    QDialog::showEvent(event);
}

void GliderDialog::initialise() {
    showFields();
    polar_.lockFlags = 0xFFFF;
    fetch();
    if (takeWingAreaText(polar_)) showFields();
    showLock();
}

void GliderDialog::showFields() {
    wingAreaUnread_ = false;  // the box shows the wing area text now
    showing_ = true;
    showText(ui_->typeEdit, fromLatin1(polar_.gliderType));
    showText(ui_->idEdit, fromLatin1(polar_.gliderId));
    showText(ui_->bestGlideEdit, QString::number(polar_.bestGlide));
    showText(ui_->bestGlideSpeedEdit, QString::number(polar_.bestGlideSpeed));
    showText(ui_->v2SpeedEdit, QString::number(polar_.v2Speed));
    showText(ui_->dryWeightEdit, QString::number(polar_.dryWeight));
    showText(ui_->waterEdit, QString::number(polar_.waterLitres));
    showText(ui_->wingAreaEdit, fromLatin1(polar_.wingAreaText));
    showing_ = false;
}

bool GliderDialog::readControls() {
    // In the order of the exchange; a box that holds no integer, or one that
    // the instrument's field cannot hold, stops it there.
    struct Number {
        QLineEdit* edit;
        std::int32_t* field;
        std::int32_t upper;
    };
    const Number numbers[] = {
        {ui_->v2SpeedEdit, &polar_.v2Speed, GliderPolar::kMaxByteField},
        {ui_->bestGlideEdit, &polar_.bestGlide, GliderPolar::kMaxByteField},
        {ui_->bestGlideSpeedEdit, &polar_.bestGlideSpeed, GliderPolar::kMaxByteField},
        {ui_->dryWeightEdit, &polar_.dryWeight, GliderPolar::kMaxWordField},
        {ui_->waterEdit, &polar_.waterLitres, GliderPolar::kMaxWordField},
    };
    for (const Number& n : numbers) {
        std::int32_t value = 0;
        if (!parseInteger(n.edit->text(), value)) {
            refuse(n.edit, "Please enter an integer.");
            return false;
        }
        if (value < 0 || value > n.upper) {
            refuse(n.edit, QStringLiteral("Please enter an integer between %1 and %2.")
                               .arg(0)
                               .arg(n.upper)
                               .toStdString());
            return false;
        }
        *n.field = value;
    }
    polar_.gliderId = latin1(ui_->idEdit);
    polar_.gliderType = latin1(ui_->typeEdit);
    polar_.wingAreaText = latin1(ui_->wingAreaEdit);
    return true;
}

bool GliderDialog::readForTransfer() {
    if (!readControls()) return false;
    // A refused box kept the change handler from taking the wing area; what
    // goes out is what the box shows.
    if (wingAreaUnread_) {
        takeWingAreaText(polar_);
        showFields();
    }
    if (polar_.wingArea < 0 || polar_.wingArea > GliderPolar::kMaxWordField) {
        refuse(ui_->wingAreaEdit, "Please enter a number between 0 and " +
                                      formatWingAreaText(GliderPolar::kMaxWordField) + ".");
        return false;
    }
    return true;
}

void GliderDialog::refuse(QLineEdit* edit, const std::string& text) {
    prompts_.message(text, "", Buttons::Ok, Icon::Warning, ownerOf(this));
    edit->setFocus();
    edit->selectAll();
}

void GliderDialog::showLock() {
    ui_->lockCheck->setChecked(polar_.locked());
}

bool GliderDialog::askLock() {
    return prompts_.message(kLockQuestion, "Warning", Buttons::YesNo, Icon::Warning,
                            ownerOf(this)) != Answer::No;
}

void GliderDialog::fetch() {
    fetchGlider(link_, prompts_, portName_, polar_, ownerOf(this));
    // Whatever the instrument said, the controls show the values now held.
    showFields();
    showLock();
}

void GliderDialog::send() {
    if (polar_.locked() && !askLock()) {
        ui_->lockCheck->setChecked(false);
        polar_.setLocked(false);
    }
    WaitCursor wait(prompts_);
    if (!readForTransfer()) return;
    sendGlider(link_, prompts_, portName_, polar_, ownerOf(this));
}

void GliderDialog::onLockClicked() {
    if (ui_->lockCheck->isChecked()) {
        if (askLock()) {
            polar_.setLocked(true);
            return;
        }
        ui_->lockCheck->setChecked(false);
    }
    polar_.setLocked(false);
}

void GliderDialog::onWingAreaChanged() {
    if (showing_) return;
    QLineEdit* edit = ui_->wingAreaEdit;
    const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    const int end = edit->hasSelectedText() ? edit->selectionEnd() : edit->cursorPosition();
    if (!readControls()) {
        wingAreaUnread_ = true;
        return;
    }
    const std::int32_t before = polar_.wingArea;
    if (!takeWingAreaText(polar_)) {
        polar_.wingArea = before;
        prompts_.beep();
        showFields();
        // The caret goes back over the character that was taken out.
        const int from = std::max(start - 1, 0);
        const int to = std::max(end - 1, 0);
        if (to > from) {
            edit->setSelection(from, to - from);
        } else {
            edit->setCursorPosition(from);
        }
        return;
    }
    showFields();
}

void GliderDialog::loadPolarFile() {
    FileChoice choice;
    choice.filter = kFilter;
    choice.defaultExtension = "plr";
    choice.initialName = "*.plr";
    choice.initialFolder = "c:\\My Documents\\";
    choice.mustExist = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseOpenFile(choice);
    if (!path) return;
    const auto text = readRecordFile(*path);
    if (!text) return;  // unreadable files are passed over in silence
    FieldOutOfRange refused;
    if (!parsePolarText(polar_, *text, &refused)) {
        prompts_.message(outOfRangeText(refused), "Error", Buttons::Ok, Icon::None, ownerOf(this));
        return;
    }
    polar_.wingAreaText = formatWingAreaText(polar_.wingArea);
    showLock();
    showFields();
}

void GliderDialog::savePolarFile() {
    if (!readForTransfer()) return;
    FileChoice choice;
    choice.filter = kFilter;
    choice.defaultExtension = "plr";
    choice.initialName = "*.plr";
    choice.promptOverwrite = true;
    choice.owner = ownerOf(this);
    const auto path = prompts_.chooseSaveFile(choice);
    if (!path) return;
    if (!writeRecordFile(*path, formatPolarLine(polar_))) {
        prompts_.message("Could not open file for writing.", "Error", Buttons::Ok, Icon::None,
                         ownerOf(this));
    }
}

}  // namespace vantor
