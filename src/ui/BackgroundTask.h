#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class QWidget;

namespace vantor {

// Runs a long transfer on a worker thread for a dialog. While it runs the
// dialog is disabled and refuses to close; the worker touches no widget
// itself but posts what it shows to the user-interface thread. Destroying the
// task waits for the worker, so the program never ends under it.
class BackgroundTask : public QObject {
    Q_OBJECT
public:
    explicit BackgroundTask(QWidget& dialog);
    ~BackgroundTask() override;

    // Starts job on a worker thread; done, if given, runs afterwards on the
    // user-interface thread, before the dialog is enabled again. False when a
    // job is already running.
    bool start(std::function<void()> job, std::function<void()> done = {});
    // A control that stays usable while a job runs (a Cancel button): the
    // dialog's other controls are disabled instead of the whole dialog, and
    // Escape clicks it.
    void keepEnabled(QWidget* control) { keepEnabled_ = control; }
    bool running() const { return running_; }
    // Queues f to run on the user-interface thread; returns at once.
    void post(std::function<void()> f);
    // Runs the event loop until the job and its done step are over.
    void waitUntilDone();

signals:
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void join();

    void setControlsEnabled(bool enabled);

    QWidget& dialog_;
    QWidget* keepEnabled_ = nullptr;
    std::vector<QWidget*> disabled_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace vantor
