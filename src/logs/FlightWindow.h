#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "logs/IgcFile.h"

class QLabel;

namespace vantor {

// A saved flight at a glance: the barogram, the outline of the track, the
// figures "vantorctl flight" prints and the security check's result lines as
// they were passed in. A file that is no IGC log gets a message instead.
class FlightWindow : public QDialog {
public:
    // title: what the window is of, usually the file name.
    FlightWindow(const IgcReadResult& read, const QString& title, const QString& verificationText,
                 QWidget* parent = nullptr);

    bool hasFlight() const { return flight_.has_value(); }
    // The shown value of a figure: "date", "firstFix", "lastFix", "duration",
    // "fixes", "maxPressureAltitude", "maxGpsAltitude", "track", "pilot",
    // "glider"; empty when there is no such figure.
    QString figure(const QString& name) const;
    // What stands in place of the flight, or empty.
    QString message() const;
    QString verificationText() const;
    QWidget* barogram() const { return barogram_; }
    QWidget* track() const { return track_; }

private:
    void buildFlight(const QString& verificationText);
    void buildMessage(const QString& title, const std::string& error);

    std::optional<IgcFile> flight_;
    FlightSummary summary_;
    QWidget* barogram_ = nullptr;
    QWidget* track_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* verification_ = nullptr;
};

// Reads the IGC file at path and shows its flight window, not modal: it
// returns at once and the window deletes itself when closed. Returns the
// window. Called from a worker thread, it hands the work to the GUI thread
// and returns nullptr; parent must outlive that hand-over or be null.
FlightWindow* showFlightWindow(const std::string& path, const std::string& verificationText,
                               QWidget* parent);

}  // namespace vantor
