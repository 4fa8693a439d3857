#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "link/InstrumentLink.h"
#include "navpoints/Navpoint.h"
#include "navpoints/TaskDeclaration.h"
#include "ui/BackgroundTask.h"
#include "ui/SettingsReceiver.h"

namespace Ui {
class NavpointsDialog;
}

namespace vantor {

class Prompts;

// "Transfer Navpoints & Tasks": navpoint files, the navpoint table to and
// from the instrument on a worker thread, and the task with its declaration.
class NavpointsDialog : public QDialog, public SettingsReceiver {
    Q_OBJECT
public:
    static constexpr const char* kFileFilter =
        "Naypoint Files (*.dat *.txt)|*.dat;*.txt|CUP Files (*.cup)|*.cup|All Files (*.*)|*.*||";

    explicit NavpointsDialog(Prompts& prompts, NavpointTable& table = navpointTable(),
                             QWidget* parent = nullptr);
    ~NavpointsDialog() override;

    void setPortName(const std::string& portName) { portName_ = portName; }
    const std::string& portName() const { return portName_; }
    void receiveSettings(const std::string& portName, std::uint32_t) override {
        setPortName(portName);
    }

    void fillNavpointList();
    void fillTaskList();

    const NavpointTable& table() const { return table_; }
    const TaskDeclaration& declaration() const { return declaration_; }
    const std::string& fileFolder() const { return fileFolder_; }
    const std::string& lastFile() const { return lastFile_; }
    BackgroundTask& task() { return background_; }
    Ui::NavpointsDialog& ui() { return *ui_; }

    void setVisible(bool visible) override;

private:
    void readFile();
    void readCup(const std::string& path);
    void writeFile();
    void startDownload();
    void startUpload();
    void addPoint();
    void removePoint();
    void movePoint(int step);
    void sendDeclaration();
    void fetchDeclaration();
    void showNavpoint();
    void showTaskPoint();
    void sendSelected();
    std::string selectedName() const;

    class StatusLine;

    Prompts& prompts_;
    NavpointTable& table_;
    std::unique_ptr<Ui::NavpointsDialog> ui_;
    TaskDeclaration declaration_;
    std::string portName_;
    std::string fileFolder_ = "\\My Documents\\";
    std::string lastFile_;
    InstrumentLink link_;
    std::unique_ptr<StatusLine> status_;
    BackgroundTask background_;
};

}  // namespace vantor
