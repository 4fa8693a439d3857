// Draws every dialog of the program into PNG files, offscreen:
//   vantor-render OUTPUT_DIR
// The settings are read from and written to a scratch folder, never the user's own.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "Simulator.h"
#include "app/MainDialog.h"
#include "base/Prompts.h"
#include "logs/FlightWindow.h"
#include "navpoints/NavpointTransfer.h"

namespace {

// Draws a dialog, grown by `grow` beyond the size it opens at.
bool save(QWidget& dialog, const QDir& dir, const char* name, QSize grow = {}) {
    dialog.show();
    if (!grow.isEmpty()) dialog.resize(dialog.size() + grow);
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    const bool ok = dialog.grab().save(path);
    dialog.hide();
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    static const char* const kUsage =
        "usage: vantor-render OUTPUT_DIR\n"
        "Draws every dialog, offscreen, against a simulated instrument into PNG files.\n";
    const std::string arg = argc == 2 ? argv[1] : "";
    if (arg == "--help" || arg == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // Anything else that looks like an option is a mistake, not a folder name.
    if (argc != 2 || arg.empty() || arg[0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantor-util"));

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) return 1;

    // A simulated instrument, so the dialogs that read it show what it holds.
    vantor::sim::SimulatorOptions options;
    options.logs = 6;
    options.navpoints = 12;
    vantor::sim::Simulator instrument(options);
    if (!instrument.start()) return 1;

    // COM1 leads to the simulator, so the main dialog can show what answered.
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvek"),
                           QStringLiteral("VantorUtil"));
        settings.setValue(QStringLiteral("PortMap/COM1"),
                          QString::fromStdString(instrument.devicePath()));
    }
    vantor::SilentPrompts prompts;
    vantor::MainDialog main(prompts);
    bool ok = save(main.setupDialog(), dir, "setup");
    main.logsDialog().setPortAndMinimumTime(main.portName(), 5);
    // Grown by the pilot: the list takes the room.
    ok = save(main.logsDialog(), dir, "flight-logs", QSize(120, 80)) && ok;
    main.updateInstrumentText();
    ok = save(main, dir, "main") && ok;
    main.gliderDialog().receiveSettings(instrument.devicePath(), 5);
    ok = save(main.gliderDialog(), dir, "glider") && ok;
    main.pilotNameDialog().receiveSettings(instrument.devicePath(), 5);
    ok = save(main.pilotNameDialog(), dir, "pilot-name") && ok;
    // The navpoints as a download from the instrument leaves them.
    vantor::NavpointTable& table = vantor::navpointTable();
    for (const auto& record : instrument.state().navpoints) {
        table.entries[static_cast<std::size_t>(table.count++)] =
            vantor::decodeNavpointRecord(record);
    }
    ok = save(main.navpointsDialog(), dir, "navpoints", QSize(120, 60)) && ok;

    // The units and the configuration, in imperial units (the record's
    // defaults) and in metric ones.
    vantor::PilotPreferences imperial;
    vantor::PilotPreferences metric;
    metric.unitFlags = 0xFF00;  // m/s, metres, Celsius, millibars, kilometres, km/h
    for (const auto& [record, suffix] : {std::pair{imperial, "imperial"}, {metric, "metric"}}) {
        main.unitsDialog().preferences() = record;
        ok = save(main.unitsDialog(), dir, (std::string("units-") + suffix).c_str()) && ok;
        main.configureDialog().preferences() = record;
        ok = save(main.configureDialog(), dir, (std::string("configure-") + suffix).c_str()) && ok;
    }

    // The flight window on the simulator's first log, as a download leaves it.
    const vantor::sim::InstrumentState state = instrument.state();  // a copy
    const vantor::sim::SimLog& log = state.logs.front();
    const std::string igc = log.igc + std::string(log.security.begin(), log.security.end());
    vantor::FlightWindow flight(vantor::parseIgc(igc), QStringLiteral("121TA1B1.IGC"),
                                QStringLiteral("Log Data Integrity OK\nSignature Data Integrity "
                                               "OK\nSecurity OK\n"));
    ok = save(flight, dir, "flight") && ok;
    return ok ? 0 : 1;
}
