#pragma once

#include <QSettings>
#include <QString>
#include <map>
#include <string>

namespace vantor::test {

// The program's stored settings, key by key ("COMPORT", "PortMap/COM1"). They
// go through QSettings, as the program's own reads do, so no cached copy of
// the file can be stale.
using StoredSettings = std::map<std::string, std::string>;

inline QSettings programSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvek"),
                     QStringLiteral("VantorUtil"));
}

inline void writeSettings(const StoredSettings& values) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvek"),
                QStringLiteral("VantorUtil"));
    s.clear();
    for (const auto& [key, value] : values) {
        s.setValue(QString::fromStdString(key), QString::fromStdString(value));
    }
    s.sync();
}

inline StoredSettings readSettings() {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarvek"),
                QStringLiteral("VantorUtil"));
    StoredSettings out;
    for (const QString& key : s.allKeys()) {
        out[key.toStdString()] = s.value(key).toString().toStdString();
    }
    return out;
}

}  // namespace vantor::test
