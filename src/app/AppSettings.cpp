#include "app/AppSettings.h"

#include <QByteArray>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <limits>
#include <memory>
#include <optional>

#include "link/CommTrace.h"
#include "link/RateMemory.h"

namespace vantor {

namespace {

const QString kComPort = QStringLiteral("COMPORT");
const QString kMinTime = QStringLiteral("MIN_FLIGHT_LOG_TIME");
const QString kPortMap = QStringLiteral("PortMap");
const QString kDownloadFolder = QStringLiteral("DownloadFolder");
const QString kLastFolder = QStringLiteral("LastFolder");
const QString kLinkRates = QStringLiteral("LinkRates");
const QString kPortDevice = QStringLiteral("PortDevice");
const QString kCommLog = QStringLiteral("CommLog");
const QString kDownloadWhenPluggedIn = QStringLiteral("DownloadWhenPluggedIn");
// How many communication logs the data folder keeps.
constexpr int kCommLogsKept = 5;

// A choice that is off is not written, so the stored values stay as they
// were for whoever never turns it on.
void setOrRemove(QSettings& settings, const QString& key, const QVariant& value, bool keep) {
    if (keep) {
        settings.setValue(key, value);
    } else {
        settings.remove(key);
    }
}

// Port names may be paths: their slashes would open groups of their own.
QString rateKey(const std::string& portName) {
    return QString::fromLatin1(QByteArray::fromStdString(portName).toPercentEncoding());
}

std::string portOfRateKey(const QString& key) {
    return QByteArray::fromPercentEncoding(key.toLatin1()).toStdString();
}

std::unique_ptr<QSettings> openSettings() {
#ifdef _WIN32
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvek\\VantorUtil"),
        QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Tarvek"), QStringLiteral("VantorUtil"));
#endif
}

// A stored value as its 32 bits, or nothing when it is missing, not a
// number or does not fit in 32 bits.
std::optional<std::uint32_t> read32(const QSettings& settings, const QString& key) {
    const QVariant value = settings.value(key);
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    const qlonglong n = value.toString().trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<std::int32_t>::min() ||
        n > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(n);
}

}  // namespace

std::string loadDownloadFolder() {
    return openSettings()->value(kDownloadFolder).toString().toStdString();
}

void saveDownloadFolder(const std::string& folder) {
    const auto settings = openSettings();
    settings->setValue(kDownloadFolder, QString::fromStdString(folder));
    settings->sync();
}

std::string loadLastFolder() {
    return openSettings()->value(kLastFolder).toString().toStdString();
}

void saveLastFolder(const std::string& folder) {
    const auto settings = openSettings();
    settings->setValue(kLastFolder, QString::fromStdString(folder));
    settings->sync();
}

std::string portNameFor(std::int32_t comPort) {
    return "COM" + std::to_string(comPort) + ":";
}

bool AppSettings::load() {
    const auto settings = openSettings();
    portMap.clear();
    settings->beginGroup(kPortMap);
    for (const QString& key : settings->childKeys()) {
        portMap[key.toUpper().toStdString()] = settings->value(key).toString().toStdString();
    }
    settings->endGroup();

    portDevice = settings->value(kPortDevice).toString().toStdString();
    commLog = settings->value(kCommLog).toBool();
    downloadWhenPluggedIn = settings->value(kDownloadWhenPluggedIn).toBool();

    const auto port = read32(*settings, kComPort);
    if (!port) return false;
    comPort = static_cast<std::int32_t>(*port);
    minFlightLogTime = read32(*settings, kMinTime).value_or(5);
    return true;
}

bool AppSettings::save() const {
    const auto settings = openSettings();
    settings->setValue(kComPort, static_cast<int>(comPort));
    settings->setValue(kMinTime, static_cast<unsigned>(minFlightLogTime));
    setOrRemove(*settings, kPortDevice, QString::fromStdString(portDevice), !portDevice.empty());
    setOrRemove(*settings, kCommLog, true, commLog);
    setOrRemove(*settings, kDownloadWhenPluggedIn, true, downloadWhenPluggedIn);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

void AppSettings::loadLinkRates() {
    const auto settings = openSettings();
    RateMemoryMap rates;
    settings->beginGroup(kLinkRates);
    for (const QString& key : settings->childKeys()) {
        if (const auto baud = read32(*settings, key)) {
            rates[portOfRateKey(key)] = static_cast<int>(*baud);
        }
    }
    settings->endGroup();
    setRememberedRates(rates);
}

bool AppSettings::saveLinkRates() {
    const auto settings = openSettings();
    settings->remove(kLinkRates);
    settings->beginGroup(kLinkRates);
    for (const auto& [port, baud] : rememberedRates()) settings->setValue(rateKey(port), baud);
    settings->endGroup();
    settings->sync();
    return settings->status() == QSettings::NoError;
}

void AppSettings::applyCommLog(bool wanted) {
    if (!wanted) {
        stopCommTrace();
    } else if (!commTraceActive()) {
        const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        startCommTraceIn(folder.toStdString(), kCommLogsKept);
    }
}

void AppSettings::loadOrDefault() {
    if (!load()) {
        comPort = 1;
        minFlightLogTime = 5;
        save();
    }
    setPortMap(portMap);
}

}  // namespace vantor
