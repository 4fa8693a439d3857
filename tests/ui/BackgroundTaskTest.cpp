#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QThread>
#include <atomic>
#include <thread>

#include "ui/BackgroundTask.h"

namespace vantor::test {
namespace {

TEST(BackgroundTask, DialogIsDisabledAndStaysOpenWhileTheWorkerRuns) {
    QDialog dialog;
    auto* status = new QLabel(&dialog);
    dialog.show();
    BackgroundTask task(dialog);
    std::atomic<bool> release{false};
    QThread* doneThread = nullptr;

    ASSERT_TRUE(task.start(
        [&] {
            task.post([&] { status->setText("1 of 2"); });
            while (!release) std::this_thread::yield();
        },
        [&] { doneThread = QThread::currentThread(); }));
    EXPECT_FALSE(task.start([] {}));  // one at a time
    EXPECT_TRUE(task.running());
    EXPECT_FALSE(dialog.isEnabled());
    EXPECT_FALSE(dialog.close());  // refused while the worker runs
    EXPECT_TRUE(dialog.isVisible());

    release = true;
    task.waitUntilDone();
    EXPECT_FALSE(task.running());
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(status->text(), "1 of 2");
    EXPECT_EQ(doneThread, QApplication::instance()->thread());
    EXPECT_TRUE(dialog.close());

    ASSERT_TRUE(task.start([] {}));  // it can run again
    task.waitUntilDone();
}

TEST(BackgroundTask, DestroyingWaitsForTheWorker) {
    std::atomic<bool> finished{false};
    {
        QDialog dialog;
        BackgroundTask task(dialog);
        task.start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace vantor::test
