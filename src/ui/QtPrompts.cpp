#include "ui/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

namespace vantor {

namespace {

// Runs f on the user-interface thread and returns its result.
template <typename F>
auto onGuiThread(F f) -> decltype(f()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return f();
    decltype(f()) result{};
    QMetaObject::invokeMethod(
        app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

QWidget* ownerWidget(const void* owner) {
    return const_cast<QWidget*>(static_cast<const QWidget*>(owner));
}

// Qt's own file dialog off Windows: it behaves the same under every desktop
// and can be driven by input events in the end-to-end tests.
QFileDialog::Options dialogOptions() {
#ifdef Q_OS_WIN
    return {};
#else
    return QFileDialog::DontUseNativeDialog;
#endif
}

}  // namespace

QString QtPrompts::startFolder(const std::string& folder) const {
    // The documents folder is only the default: once the pilot has used a
    // folder, dialogs start there.
    const bool isDefault =
        folder.empty() || QString::fromStdString(folder).contains(QStringLiteral("My Documents"),
                                                                  Qt::CaseInsensitive);
    if (isDefault && !lastFolder_.empty()) return QString::fromStdString(lastFolder_);
    return initialFolder(folder.empty() ? std::string("\\My Documents\\") : folder);
}

void QtPrompts::folderUsed(const QString& path, bool isFolder) {
    const QFileInfo info(path);
    const std::string folder =
        (isFolder ? info.absoluteFilePath() : info.absolutePath()).toStdString();
    if (folder == lastFolder_) return;
    lastFolder_ = folder;
    if (lastFolderChanged_) lastFolderChanged_(lastFolder_);
}

std::optional<std::string> QtPrompts::runFileDialog(const FileChoice& choice, bool save) {
    QFileDialog dialog(ownerWidget(choice.owner), QString::fromStdString(choice.title),
                       startFolder(choice.initialFolder));
    dialog.setOptions(dialogOptions());
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !choice.mustExist ? QFileDialog::AnyFile
                                                 : QFileDialog::ExistingFile);
    dialog.setNameFilters(qtNameFilters(choice.filter));
    if (!choice.defaultExtension.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(choice.defaultExtension));
    }
    if (!choice.promptOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!choice.initialName.empty()) dialog.selectFile(QString::fromStdString(choice.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    folderUsed(dialog.selectedFiles().constFirst(), false);
    return dialog.selectedFiles().constFirst().toStdString();
}

QStringList qtNameFilters(const std::string& filter) {
    QStringList out;
    for (const FileFilter& f : parseFileFilter(filter)) {
        QString label = QString::fromStdString(f.description).trimmed();
        // Qt reads the patterns from the last parentheses; put ours there.
        if (label.endsWith(QLatin1Char(')'))) {
            const auto open = label.lastIndexOf(QLatin1Char('('));
            if (open > 0) label = label.left(open).trimmed();
        }
        QStringList patterns;
        for (const auto& p : f.patterns) patterns << QString::fromStdString(p);
        out << label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

QString shownText(const std::string& text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded =
        utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!utf8.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString initialFolder(const std::string& folder) {
    QString f = QString::fromStdString(folder);
    if (f.isEmpty()) return {};
    if (f.contains(QStringLiteral("My Documents"), Qt::CaseInsensitive)) {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    return f;
}

Answer QtPrompts::message(const std::string& text, const std::string& caption, Buttons buttons,
                          Icon icon, const void* owner) {
    return onGuiThread([&] {
        QMessageBox box(ownerWidget(owner));
        box.setWindowTitle(caption.empty() ? QApplication::applicationName() : shownText(caption));
        box.setText(shownText(text));
        switch (icon) {
            case Icon::Information:
                box.setIcon(QMessageBox::Information);
                break;
            case Icon::Warning:
                box.setIcon(QMessageBox::Warning);
                break;
            case Icon::Error:
                box.setIcon(QMessageBox::Critical);
                break;
            case Icon::Question:
                box.setIcon(QMessageBox::Question);
                break;
            case Icon::None:
                break;
        }
        switch (buttons) {
            case Buttons::Ok:
                box.setStandardButtons(QMessageBox::Ok);
                break;
            case Buttons::OkCancel:
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                break;
            case Buttons::YesNo:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                break;
            case Buttons::YesNoCancel:
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
                break;
        }
        switch (box.exec()) {
            case QMessageBox::Yes:
                return Answer::Yes;
            case QMessageBox::No:
                return Answer::No;
            case QMessageBox::Cancel:
                return Answer::Cancel;
            default:
                return Answer::Ok;
        }
    });
}

std::optional<std::string> QtPrompts::chooseOpenFile(const FileChoice& choice) {
    return onGuiThread([&] { return runFileDialog(choice, false); });
}

std::optional<std::string> QtPrompts::chooseSaveFile(const FileChoice& choice) {
    return onGuiThread([&] { return runFileDialog(choice, true); });
}

std::optional<std::string> QtPrompts::chooseFolder(const FileChoice& choice) {
    return onGuiThread([&]() -> std::optional<std::string> {
        const QString folder = QFileDialog::getExistingDirectory(
            ownerWidget(choice.owner), QString::fromStdString(choice.title),
            startFolder(choice.initialFolder), QFileDialog::ShowDirsOnly | dialogOptions());
        if (folder.isEmpty()) return std::nullopt;
        folderUsed(folder, true);
        return folder.toStdString();
    });
}

void QtPrompts::beep() {
    QMetaObject::invokeMethod(qApp, [] { QApplication::beep(); });
}

void QtPrompts::setWaitCursor(bool on) {
    QMetaObject::invokeMethod(qApp, [on] {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
        }
    });
}

}  // namespace vantor
