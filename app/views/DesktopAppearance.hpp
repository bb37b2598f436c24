#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QPalette>

#include <optional>

namespace quorvel::app {

// Follows the desktop's light or dark preference (the freedesktop settings portal's
// "color-scheme"), for desktops whose Qt integration does not: the app's palette turns dark or
// light with it. Asked once at start, before the document viewer starts, and followed after.
class DesktopAppearance : public QObject {
    Q_OBJECT
public:
    enum class Preference { none, dark, light };

    explicit DesktopAppearance(QObject *parent = nullptr);

    // Reads the preference now (briefly blocking) and applies it.
    void apply();
    Preference preference() const { return preference_; }

    static QPalette darkPalette();
    static bool isDark(const QPalette &palette);

private Q_SLOTS:
    void settingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void use(Preference preference);

    Preference preference_ = Preference::none;
    std::optional<QPalette> original_;
};

} // namespace quorvel::app
