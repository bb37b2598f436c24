#include "model/Preferences.hpp"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace quorvel::app {

namespace {

const QString syncIntervalKey = QStringLiteral("SyncIntervalMinutes");
const QString zoomKey = QStringLiteral("DocumentZoom");
const QString treeSortKey = QStringLiteral("TreeSort");
const QString expandedKey = QStringLiteral("ExpandedFolders");
const QString lastCheckKey = QStringLiteral("LastUpdateCheckAt");
const QString skippedKey = QStringLiteral("SkippedUpdateVersion");
const QString autoCheckKey = QStringLiteral("AutoUpdateCheck");
const QString geometryKey = QStringLiteral("WindowGeometry");
const QString sidebarKey = QStringLiteral("SidebarWidth");
const QString baseURLKey = QStringLiteral("BaseURL");

// QSettings keeps plain text on Linux, so "an integer" is text that reads as one.
std::optional<int> storedInteger(const QVariant &value) {
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

std::optional<double> storedDouble(const QVariant &value) {
    bool ok = false;
    const double d = value.toString().trimmed().toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

} // namespace

Preferences::Preferences(QSettings *settings) : settings_(settings) {
    if (!settings_) {
        own_ = std::make_unique<QSettings>(QStringLiteral("kr.vatsu"), QStringLiteral("quorvel"));
        settings_ = own_.get();
    }
}

Preferences::~Preferences() = default;

int Preferences::syncIntervalMinutes() const {
    const auto n = storedInteger(settings_->value(syncIntervalKey));
    const bool allowed =
        n && std::find(std::begin(syncIntervals), std::end(syncIntervals), *n) != std::end(syncIntervals);
    return allowed ? *n : 15;
}

void Preferences::setSyncIntervalMinutes(int minutes) {
    settings_->setValue(syncIntervalKey, minutes);
}

double Preferences::documentZoom() const {
    const auto zoom = storedDouble(settings_->value(zoomKey));
    return zoom && *zoom >= 0.5 && *zoom <= 3.0 ? *zoom : 1.0;
}

void Preferences::setDocumentZoom(double zoom) {
    settings_->setValue(zoomKey, zoom);
}

TreeSort Preferences::treeSort() const {
    return settings_->value(treeSortKey).toString() == QLatin1String("name") ? TreeSort::name
                                                                             : TreeSort::updatedDescending;
}

void Preferences::setTreeSort(TreeSort sort) {
    settings_->setValue(treeSortKey, sort == TreeSort::name ? QStringLiteral("name") : QStringLiteral("updated"));
}

std::set<std::string> Preferences::expandedFolders() const {
    std::set<std::string> ids;
    for (const QString &id : settings_->value(expandedKey).toStringList())
        ids.insert(id.toStdString());
    return ids;
}

void Preferences::setExpandedFolders(const std::set<std::string> &ids) {
    QStringList stored; // in ascending order, as the set keeps them
    for (const auto &id : ids)
        stored << QString::fromStdString(id);
    settings_->setValue(expandedKey, stored);
}

std::optional<double> Preferences::lastUpdateCheckAt() const {
    const double at = settings_->value(lastCheckKey).toDouble();
    return at > 0 ? std::optional<double>(at) : std::nullopt;
}

void Preferences::setLastUpdateCheckAt(double at) {
    settings_->setValue(lastCheckKey, at);
}

std::optional<std::string> Preferences::skippedUpdateVersion() const {
    if (!settings_->contains(skippedKey)) return std::nullopt;
    return settings_->value(skippedKey).toString().toStdString();
}

void Preferences::setSkippedUpdateVersion(const std::string &version) {
    settings_->setValue(skippedKey, QString::fromStdString(version));
}

bool Preferences::autoUpdateCheck() const {
    return settings_->value(autoCheckKey, true).toBool();
}

void Preferences::setAutoUpdateCheck(bool on) {
    settings_->setValue(autoCheckKey, on);
}

QByteArray Preferences::windowGeometry() const {
    return settings_->value(geometryKey).toByteArray();
}

void Preferences::setWindowGeometry(const QByteArray &geometry) {
    settings_->setValue(geometryKey, geometry);
}

int Preferences::sidebarWidth() const {
    return std::clamp(settings_->value(sidebarKey, 290).toInt(), 220, 600);
}

void Preferences::setSidebarWidth(int width) {
    settings_->setValue(sidebarKey, width);
}

void Preferences::forgetBaseURL() {
    settings_->remove(baseURLKey);
}

} // namespace quorvel::app
