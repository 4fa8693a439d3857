#include "ui/BackgroundTask.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QWidget>

namespace vantor {

BackgroundTask::BackgroundTask(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {
    dialog_.installEventFilter(this);
}

BackgroundTask::~BackgroundTask() {
    join();
}

void BackgroundTask::join() {
    if (thread_.joinable()) thread_.join();
}

bool BackgroundTask::start(std::function<void()> job, std::function<void()> done) {
    if (running_) return false;
    join();  // the last worker has finished; collect it
    running_ = true;
    setControlsEnabled(false);
    thread_ = std::thread([this, job = std::move(job), done = std::move(done)] {
        job();
        post([this, done] {
            join();
            if (done) done();
            setControlsEnabled(true);
            running_ = false;
            emit finished();
        });
    });
    return true;
}

void BackgroundTask::setControlsEnabled(bool enabled) {
    if (!keepEnabled_) {
        dialog_.setEnabled(enabled);
        return;
    }
    if (enabled) {
        for (QWidget* w : disabled_) w->setEnabled(true);
        disabled_.clear();
        keepEnabled_->setEnabled(false);
        return;
    }
    for (QWidget* w : dialog_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != keepEnabled_ && w->isEnabled() && !w->isWindow()) {
            w->setEnabled(false);
            disabled_.push_back(w);
        }
    }
    keepEnabled_->setEnabled(true);
    keepEnabled_->setFocus();
}

void BackgroundTask::post(std::function<void()> f) {
    QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void BackgroundTask::waitUntilDone() {
    if (!running_) return;
    QEventLoop loop;
    connect(this, &BackgroundTask::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

bool BackgroundTask::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &dialog_ && running_) {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (keepEnabled_ && keepEnabled_->isEnabled()) {
                QMetaObject::invokeMethod(keepEnabled_, "click");
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vantor
