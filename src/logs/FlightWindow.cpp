#include "logs/FlightWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace vantor {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKmPerDegree = 6371.0 * kPi / 180;
const QColor kPressureColour(31, 119, 180);  // blue
const QColor kGpsColour(214, 39, 40);        // red
const QColor kTrackColour(40, 40, 40);

// Names and texts come as the recorder wrote them: UTF-8, or else Latin-1.
QString text(const std::string& bytes) {
    const QString utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!utf8.contains(QChar::ReplacementCharacter)) return utf8;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A step of 1, 2 or 5 times a power of ten that cuts span into about n parts.
double niceStep(double span, int n) {
    const double raw = span / std::max(1, n);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) return m * power;
    }
    return 10 * power;
}

// Altitude over time, pressure and GPS, with axes, ticks and a legend.
class BarogramView : public QWidget {
public:
    BarogramView(const IgcFile& flight, QWidget* parent) : QWidget(parent), flight_(flight) {
        setMinimumSize(360, 180);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setObjectName(QStringLiteral("barogram"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), palette().base());
        const QFontMetrics fm = p.fontMetrics();
        const int left = fm.horizontalAdvance(QStringLiteral("00000")) + 12;
        const int top = fm.height() + 8;
        const int bottom = 2 * fm.height() + 10;
        const QRectF plot(left, top, std::max(10, width() - left - 12),
                          std::max(10, height() - top - bottom));

        const auto& fixes = flight_.fixes;
        const double t0 = static_cast<double>(fixes.front().time);
        const double t1 = std::max(t0 + 60, static_cast<double>(fixes.back().time));
        double lo = std::numeric_limits<double>::max();
        double hi = std::numeric_limits<double>::lowest();
        for (const IgcFix& f : fixes) {
            for (const auto& a : {f.pressureAltitude, gps(f)}) {
                if (!a) continue;
                lo = std::min(lo, static_cast<double>(*a));
                hi = std::max(hi, static_cast<double>(*a));
            }
        }
        if (lo > hi) {  // no altitude at all: an empty scale of a kilometre
            lo = 0;
            hi = 1000;
        }
        const double yStep =
            niceStep(std::max(hi - lo, 10.0), std::max(2, int(plot.height()) / 40));
        lo = std::floor(lo / yStep) * yStep;
        hi = std::max(lo + yStep, std::ceil(hi / yStep) * yStep);
        auto x = [&](double t) { return plot.left() + (t - t0) / (t1 - t0) * plot.width(); };
        auto y = [&](double a) { return plot.bottom() - (a - lo) / (hi - lo) * plot.height(); };

        // Grid and tick labels: metres up the side, hours:minutes of UTC along the bottom.
        const QColor grid = palette().mid().color();
        p.setPen(palette().text().color());
        for (double a = lo; a <= hi + yStep / 2; a += yStep) {
            p.setPen(QPen(grid, 0, Qt::DotLine));
            p.drawLine(QPointF(plot.left(), y(a)), QPointF(plot.right(), y(a)));
            p.setPen(palette().text().color());
            p.drawText(QRectF(0, y(a) - fm.height() / 2.0, left - 6, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(std::lround(a)));
        }
        static constexpr std::array<int, 12> kTimeSteps = {60,   120,  300,   600,   900,   1800,
                                                           3600, 7200, 10800, 21600, 43200, 86400};
        const double labelWidth = fm.horizontalAdvance(QStringLiteral("00:00")) * 2.0;
        double tStep = kTimeSteps.back();
        for (int s : kTimeSteps) {
            if ((t1 - t0) / s * labelWidth <= plot.width()) {
                tStep = s;
                break;
            }
        }
        // A recorder left on for weeks: whole days, as many as there is room for.
        while ((t1 - t0) / tStep * labelWidth > plot.width()) tStep *= 2;
        for (double t = std::ceil(t0 / tStep) * tStep; t <= t1; t += tStep) {
            p.setPen(QPen(grid, 0, Qt::DotLine));
            p.drawLine(QPointF(x(t), plot.top()), QPointF(x(t), plot.bottom()));
            p.setPen(palette().text().color());
            const QString label =
                QString::fromStdString(formatTimeOfDay(static_cast<std::int64_t>(t)).substr(0, 5));
            p.drawText(QRectF(x(t) - labelWidth / 2, plot.bottom() + 3, labelWidth, fm.height()),
                       Qt::AlignHCenter | Qt::AlignTop, label);
        }
        p.drawRect(plot);
        p.drawText(QRectF(plot.left(), plot.bottom() + fm.height() + 6, plot.width(), fm.height()),
                   Qt::AlignHCenter, tr("Time (UTC, hours:minutes)"));
        p.drawText(QRectF(0, 2, width(), fm.height()), Qt::AlignLeft, tr("Altitude (m)"));

        drawSeries(
            p, kPressureColour, [](const IgcFix& f) { return f.pressureAltitude; }, x, y);
        drawSeries(p, kGpsColour, gps, x, y);

        // The legend, top right above the plot.
        const QString names[] = {tr("Pressure altitude"), tr("GPS altitude")};
        const QColor colours[] = {kPressureColour, kGpsColour};
        double at = plot.right();
        for (int i = 1; i >= 0; --i) {
            const double w = fm.horizontalAdvance(names[i]);
            at -= w;
            p.setPen(palette().text().color());
            p.drawText(QPointF(at, top - 6), names[i]);
            p.setPen(QPen(colours[i], 2));
            p.drawLine(QPointF(at - 22, top - 6 - fm.ascent() / 3.0),
                       QPointF(at - 4, top - 6 - fm.ascent() / 3.0));
            at -= 36;
        }
    }

private:
    // A 2D fix has no GPS altitude worth drawing.
    static std::optional<int> gps(const IgcFix& f) {
        return f.valid ? f.gpsAltitude : std::nullopt;
    }

    template <typename Value, typename X, typename Y>
    void drawSeries(QPainter& p, const QColor& colour, Value value, X x, Y y) const {
        QPainterPath path;
        bool open = false;
        for (const IgcFix& f : flight_.fixes) {
            const auto a = value(f);
            if (!a) {
                open = false;  // a gap where the recorder had no value
                continue;
            }
            const QPointF point(x(static_cast<double>(f.time)), y(*a));
            if (open) {
                path.lineTo(point);
            } else {
                path.moveTo(point);
                path.lineTo(point);
                open = true;
            }
        }
        p.setPen(QPen(colour, 1.5));
        p.drawPath(path);
    }

    const IgcFile& flight_;
};

// The outline of the track from the valid fixes: north up, scaled to fit,
// east-west shrunk by the cosine of the mean latitude so shapes stay true.
class TrackView : public QWidget {
public:
    TrackView(const IgcFile& flight, QWidget* parent) : QWidget(parent) {
        setMinimumSize(200, 180);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setObjectName(QStringLiteral("track"));
        double latSum = 0;
        std::vector<const IgcFix*> valid;
        for (const IgcFix& f : flight.fixes) {
            if (f.valid) valid.push_back(&f);
        }
        for (const IgcFix* f : valid) latSum += f->latitude;
        if (valid.empty()) return;
        const double k = std::cos(latSum / static_cast<double>(valid.size()) * kPi / 180);
        // Longitudes run on from the first fix, so a flight over the date line stays whole.
        double lonBefore = valid.front()->longitude;
        double lon = lonBefore;
        for (const IgcFix* f : valid) {
            double step = f->longitude - lonBefore;
            if (step > 180) step -= 360;
            if (step < -180) step += 360;
            lon += step;
            lonBefore = f->longitude;
            points_.emplace_back(lon * k, f->latitude);
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), palette().base());
        p.setPen(palette().mid().color());
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        const QFontMetrics fm = p.fontMetrics();
        if (points_.empty()) {
            p.setPen(palette().text().color());
            p.drawText(rect(), Qt::AlignCenter, tr("No valid fix to draw."));
            return;
        }
        double minX = points_[0].x(), maxX = minX, minY = points_[0].y(), maxY = minY;
        for (const QPointF& q : points_) {
            minX = std::min(minX, q.x());
            maxX = std::max(maxX, q.x());
            minY = std::min(minY, q.y());
            maxY = std::max(maxY, q.y());
        }
        const QRectF area = QRectF(rect()).adjusted(12, fm.height() + 12, -12, -fm.height() - 16);
        const double span = std::max({maxX - minX, maxY - minY, 1e-6});
        const double scale = std::min(area.width(), area.height()) / span;  // pixels a degree
        const QPointF centre((minX + maxX) / 2, (minY + maxY) / 2);
        auto map = [&](const QPointF& q) {
            return QPointF(area.center().x() + (q.x() - centre.x()) * scale,
                           area.center().y() - (q.y() - centre.y()) * scale);
        };
        QPolygonF line;
        for (const QPointF& q : points_) line << map(q);
        p.setPen(QPen(kTrackColour, 1.5));
        p.drawPolyline(line);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(44, 160, 44));
        p.drawEllipse(line.front(), 4, 4);
        p.setBrush(kGpsColour);
        p.drawRect(QRectF(line.back() - QPointF(3.5, 3.5), QSizeF(7, 7)));

        // North, and a scale bar of a round number of kilometres.
        p.setPen(palette().text().color());
        p.setBrush(Qt::NoBrush);
        const QPointF north(width() - 16, 8 + fm.height());
        p.drawText(QRectF(north.x() - 10, 4, 20, fm.height()), Qt::AlignCenter, tr("N"));
        p.drawLine(north, north + QPointF(0, 14));
        p.drawLine(north, north + QPointF(-4, 6));
        p.drawLine(north, north + QPointF(4, 6));
        const double kmPerPixel = kKmPerDegree / scale;
        const double barKm = niceStep(kmPerPixel * area.width() / 4, 1);
        const double barPixels = barKm / kmPerPixel;
        const QPointF bar(12, height() - 8);
        p.drawLine(bar, bar + QPointF(barPixels, 0));
        p.drawLine(bar, bar + QPointF(0, -4));
        p.drawLine(bar + QPointF(barPixels, 0), bar + QPointF(barPixels, -4));
        p.drawText(QPointF(bar.x(), bar.y() - 6), tr("%1 km").arg(QString::number(barKm, 'g', 3)));
    }

private:
    std::vector<QPointF> points_;  // x: degrees east times the cosine, y: degrees north
};

}  // namespace

FlightWindow::FlightWindow(const IgcReadResult& read, const QString& title,
                           const QString& verificationText, QWidget* parent)
    : QDialog(parent), flight_(read.file) {
    setWindowTitle(tr("Flight - %1").arg(title));
    setSizeGripEnabled(true);
    if (flight_) {
        summary_ = summarizeFlight(*flight_);
        buildFlight(verificationText);
    } else {
        buildMessage(title, read.error);
    }
}

void FlightWindow::buildFlight(const QString& verificationText) {
    auto* layout = new QVBoxLayout(this);
    barogram_ = new BarogramView(*flight_, this);
    track_ = new TrackView(*flight_, this);
    layout->addWidget(barogram_, 3);

    auto* lower = new QHBoxLayout;
    lower->addWidget(track_, 2);
    auto* right = new QVBoxLayout;
    auto* figures = new QFormLayout;
    auto add = [&](const char* name, const QString& label, const QString& value) {
        auto* v = new QLabel(value, this);
        v->setObjectName(QString::fromLatin1(name));
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addRow(label, v);
    };
    const FlightSummary& s = summary_;
    auto altitude = [](const std::optional<int>& a) {
        return a ? tr("%1 m").arg(*a) : tr("not recorded");
    };
    const QString utc = tr("%1 UTC");
    const std::int64_t lastDay = s.lastFix / 86400 - s.firstFix / 86400;
    QString last = utc.arg(QString::fromStdString(formatTimeOfDay(s.lastFix)));
    if (lastDay == 1) last += tr(" (next day)");
    if (lastDay > 1) last += tr(" (%1 days later)").arg(lastDay);

    QString glider = text(flight_->gliderType);
    if (!flight_->gliderId.empty()) {
        glider += (glider.isEmpty() ? QString() : QStringLiteral(", ")) + text(flight_->gliderId);
    }
    add("date", tr("Date:"),
        s.date ? QString::fromStdString(formatIgcDate(s.date)) : tr("not recorded"));
    add("pilot", tr("Pilot:"), flight_->pilot.empty() ? tr("not recorded") : text(flight_->pilot));
    add("glider", tr("Glider:"), glider.isEmpty() ? tr("not recorded") : glider);
    add("firstFix", tr("First fix:"), utc.arg(QString::fromStdString(formatTimeOfDay(s.firstFix))));
    add("lastFix", tr("Last fix:"), last);
    add("duration", tr("Duration:"), QString::fromStdString(formatDuration(s.duration)));
    add("fixes", tr("Fixes:"), QString::number(s.fixes));
    add("maxPressureAltitude", tr("Highest pressure altitude:"), altitude(s.maxPressureAltitude));
    add("maxGpsAltitude", tr("Highest GPS altitude:"), altitude(s.maxGpsAltitude));
    add("track", tr("Track:"), tr("%1 km").arg(s.trackKm, 0, 'f', 1));
    right->addLayout(figures);

    auto* box = new QGroupBox(tr("Verification"), this);
    auto* boxLayout = new QVBoxLayout(box);
    verification_ = new QLabel(box);
    verification_->setObjectName(QStringLiteral("verification"));
    verification_->setTextFormat(Qt::PlainText);  // as it was given, never as markup
    verification_->setText(verificationText);
    verification_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verification_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    boxLayout->addWidget(verification_);
    box->setVisible(!verificationText.isEmpty());
    right->addWidget(box);
    right->addStretch(1);
    lower->addLayout(right, 3);
    layout->addLayout(lower, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumSize(600, 480);
    resize(800, 640);
}

void FlightWindow::buildMessage(const QString& title, const std::string& error) {
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setText(tr("Cannot show the flight of %1.\n\n%2").arg(title, text(error)));
    layout->addWidget(message_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumSize(360, 160);
}

QString FlightWindow::figure(const QString& name) const {
    if (!flight_ || name.isEmpty()) return {};
    const auto* label = findChild<QLabel*>(name);
    return label && label != verification_ ? label->text() : QString();
}

QString FlightWindow::message() const {
    return message_ ? message_->text() : QString();
}

QString FlightWindow::verificationText() const {
    return verification_ ? verification_->text() : QString();
}

FlightWindow* showFlightWindow(const std::string& path, const std::string& verificationText,
                               QWidget* parent) {
    auto* app = QCoreApplication::instance();
    if (!app) return nullptr;
    if (QThread::currentThread() != app->thread()) {
        // A worker never touches a widget: the window is made on the GUI thread.
        QPointer<QWidget> owner(parent);
        const bool hadParent = parent != nullptr;
        QMetaObject::invokeMethod(
            app,
            [path, verificationText, owner, hadParent] {
                if (hadParent && !owner) return;  // its dialog is gone: nothing to show it over
                showFlightWindow(path, verificationText, owner.data());
            },
            Qt::QueuedConnection);
        return nullptr;
    }
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    auto* window =
        new FlightWindow(readIgcFile(path), name.isEmpty() ? QString::fromStdString(path) : name,
                         QString::fromStdString(verificationText), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace vantor
