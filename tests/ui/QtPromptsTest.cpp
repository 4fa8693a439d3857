#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <thread>

#include "ui/QtPrompts.h"

namespace vantor::test {
namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
};

// Waits for the next message box, notes what it shows and presses `press`.
void answerNextBox(SeenBox& seen, QMessageBox::StandardButton press) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, &seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                box->parentWidget()};
        box->button(press)->click();
        timer->deleteLater();
    });
    timer->start(5);
}

TEST(QtPrompts, MessageBoxShowsExactlyWhatIsAsked) {
    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(prompts.message("Failed to connect.", "Error, check connections", Buttons::Ok,
                              Icon::None, nullptr),
              Answer::Ok);
    EXPECT_EQ(seen.title, "Error, check connections");
    EXPECT_EQ(seen.text, "Failed to connect.");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);

    QWidget owner;
    answerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(prompts.message("Overwrite?", "", Buttons::YesNo, Icon::Warning, ownerOf(&owner)),
              Answer::No);
    EXPECT_EQ(seen.title, QApplication::applicationName());  // no caption of its own
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.parent, &owner);
}

TEST(QtPrompts, AWorkerWaitsForTheAnswerFromTheGuiThread) {
    QtPrompts prompts;
    SeenBox seen;
    answerNextBox(seen, QMessageBox::Yes);
    std::atomic<bool> done{false};
    Answer answer = Answer::Cancel;
    std::thread worker([&] {
        answer = prompts.message("Transfer Complete", "", Buttons::YesNo, Icon::None, nullptr);
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) loop.quit();
    });
    poll.start(5);
    loop.exec();
    worker.join();
    EXPECT_EQ(answer, Answer::Yes);
    EXPECT_EQ(seen.text, "Transfer Complete");
}

}  // namespace
}  // namespace vantor::test
