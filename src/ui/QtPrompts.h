#pragma once

#include <QString>
#include <functional>
#include <string>
#include <utility>

#include "base/Prompts.h"

class QWidget;

namespace vantor {

// The prompts of the Qt program: message boxes, file dialogs, the wait cursor
// and the beep. Safe to call from a worker thread: the call is carried out on
// the user-interface thread, which the worker waits for.
class QtPrompts : public Prompts {
public:
    Answer message(const std::string& text, const std::string& caption, Buttons buttons, Icon icon,
                   const void* owner) override;
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    std::optional<std::string> chooseFolder(const FileChoice& choice) override;
    void beep() override;
    void setWaitCursor(bool on) override;

    // The folder the pilot last chose a file in, where file dialogs without a
    // folder of their own (or with the documents folder) start; kept between
    // runs by whoever is told of its changes.
    void setLastFolder(const std::string& folder) { lastFolder_ = folder; }
    const std::string& lastFolder() const { return lastFolder_; }
    void onLastFolderChanged(std::function<void(const std::string&)> f) {
        lastFolderChanged_ = std::move(f);
    }
    // The folder a file dialog for this choice's folder starts in.
    QString startFolder(const std::string& folder) const;

private:
    std::optional<std::string> runFileDialog(const FileChoice& choice, bool save);
    void folderUsed(const QString& path, bool isFolder);

    std::string lastFolder_;
    std::function<void(const std::string&)> lastFolderChanged_;
};

// Owner handles of the prompts are widgets.
inline const void* ownerOf(const QWidget* widget) {
    return widget;
}

// The Qt name filters for the program's filter string.
QStringList qtNameFilters(const std::string& filter);
// A message's text as shown. The program's own texts and file paths are
// UTF-8; names and labels from the instrument and its files are single-byte
// text, shown as Latin-1 where they are not valid UTF-8.
QString shownText(const std::string& text);
// The folder a file dialog starts in: the documents folder for "\My Documents\".
QString initialFolder(const std::string& folder);

}  // namespace vantor
