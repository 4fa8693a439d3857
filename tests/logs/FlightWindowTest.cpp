// The flight window, offscreen: a fixture's figures and drawing, a file that
// is no IGC log, resizing, and opening from a worker thread.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <fstream>
#include <string>
#include <thread>

#include "logs/FlightWindow.h"

namespace vantor::test {
namespace {

const std::string kFixture = std::string(VANTOR_TEST_DATA_DIR) + "/midnight.igc";

// How many pixels of a widget's picture are close to a colour.
int pixelsOf(QWidget* widget, const QColor& colour) {
    const QImage image = widget->grab().toImage();
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                40) {
                ++n;
            }
        }
    }
    return n;
}

TEST(FlightWindowTest, ShowsTheFiguresOfTheFixture) {
    const std::string verification =
        "Log Data Integrity OK\n<b>Signature</b> Data Integrity Fail\n";
    QPointer<FlightWindow> window = showFlightWindow(kFixture, verification, nullptr);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    EXPECT_TRUE(window->hasFlight());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Flight - midnight.igc"));
    const std::pair<const char*, const char*> figures[] = {
        {"date", "2024-12-31"},
        {"pilot", "Jane Doe"},
        {"glider", "LS-4, D-KAZZ"},
        {"firstFix", "23:58:00 UTC"},
        {"lastFix", "00:02:00 UTC (next day)"},
        {"duration", "00:04:00"},
        {"fixes", "6"},
        {"maxPressureAltitude", "1200 m"},
        {"maxGpsAltitude", "1150 m"},
        {"track", "10.1 km"},
    };
    for (const auto& [name, value] : figures) {
        EXPECT_EQ(window->figure(QString::fromLatin1(name)), QString::fromLatin1(value)) << name;
    }
    EXPECT_EQ(window->figure(QStringLiteral("nonsense")), QString());
    // As given: plain text, never markup.
    EXPECT_EQ(window->verificationText(), QString::fromStdString(verification));
    EXPECT_TRUE(window->message().isEmpty());

    // Both altitude curves and the track are drawn, in their colours.
    QApplication::processEvents();
    EXPECT_GT(pixelsOf(window->barogram(), QColor(31, 119, 180)), 50);
    EXPECT_GT(pixelsOf(window->barogram(), QColor(214, 39, 40)), 50);
    EXPECT_GT(pixelsOf(window->track(), QColor(40, 40, 40)), 50);

    // Resizable, down to a minimum that leaves the drawings room.
    const QSize minimum = window->minimumSize();
    EXPECT_GE(minimum.width(), 400);
    EXPECT_GE(minimum.height(), 300);
    window->resize(minimum);
    QApplication::processEvents();
    EXPECT_GE(window->barogram()->width(), window->barogram()->minimumWidth());
    window->resize(1400, 1000);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1400, 1000));

    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window);  // deleted once closed
}

TEST(FlightWindowTest, AFileThatIsNoIgcLogGetsAMessage) {
    const std::string path = ::testing::TempDir() + "letter.igc";
    std::ofstream(path, std::ios::binary) << "Dear pilot,\nB is for barogram.\n";
    const struct {
        std::string path;
        QString message;
    } cases[] = {
        {path,
         QStringLiteral("Cannot show the flight of letter.igc.\n\nThis is not an IGC flight log: "
                        "it does not begin with an A record.")},
        {"/nonexistent/gone.igc",
         QStringLiteral("Cannot show the flight of gone.igc.\n\nCannot open the file: No such "
                        "file or directory.")},
    };
    for (const auto& c : cases) {
        QPointer<FlightWindow> window = showFlightWindow(c.path, "Security OK\n", nullptr);
        ASSERT_TRUE(window);
        EXPECT_FALSE(window->hasFlight());
        EXPECT_EQ(window->message(), c.message);
        EXPECT_EQ(window->barogram(), nullptr);
        EXPECT_EQ(window->figure(QStringLiteral("date")), QString());
        window->grab();  // draws without a flight
        delete window.data();
    }
}

TEST(FlightWindowTest, DrawsARecorderLeftOnForWeeks) {
    // Over forty midnights, with no valid fix for the track: the axis takes
    // whole days as its step and the outline says why it is empty.
    std::string text = "AXYZ001\r\n";
    for (int day = 0; day < 40; ++day) {
        text += "B2300004700000N00800000EV0100001050\r\nB0100004700000N00800000EV0100001050\r\n";
    }
    QPointer<FlightWindow> window(
        new FlightWindow(parseIgc(text), QStringLiteral("weeks.igc"), QString()));
    ASSERT_TRUE(window->hasFlight());
    EXPECT_EQ(window->figure(QStringLiteral("duration")), QStringLiteral("938:00:00"));
    EXPECT_EQ(window->figure(QStringLiteral("lastFix")),
              QStringLiteral("01:00:00 UTC (40 days later)"));
    EXPECT_EQ(window->figure(QStringLiteral("track")), QStringLiteral("0.0 km"));
    EXPECT_GT(pixelsOf(window->barogram(), QColor(31, 119, 180)), 50);
    window->grab();
    delete window.data();
}

TEST(FlightWindowTest, FromAWorkerItOpensOnTheGuiThread) {
    FlightWindow* fromWorker = reinterpret_cast<FlightWindow*>(1);
    std::thread worker([&] { fromWorker = showFlightWindow(kFixture, "", nullptr); });
    worker.join();
    EXPECT_EQ(fromWorker, nullptr);
    FlightWindow* shown = nullptr;
    for (int i = 0; i < 50 && !shown; ++i) {
        QApplication::processEvents();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* f = dynamic_cast<FlightWindow*>(w); f && f->isVisible()) shown = f;
        }
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->figure(QStringLiteral("fixes")), QStringLiteral("6"));
    EXPECT_TRUE(shown->verificationText().isEmpty());
    delete shown;
}

}  // namespace
}  // namespace vantor::test
