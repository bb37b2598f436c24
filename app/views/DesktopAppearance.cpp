#include "views/DesktopAppearance.hpp"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleFactory>

namespace quorvel::app {

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString group = QStringLiteral("org.freedesktop.appearance");
const QString key = QStringLiteral("color-scheme");

// The portal wraps the value in one or two variants, depending on its version.
uint unwrap(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

DesktopAppearance::Preference preferenceOf(uint value) {
    return value == 1   ? DesktopAppearance::Preference::dark
           : value == 2 ? DesktopAppearance::Preference::light
                        : DesktopAppearance::Preference::none;
}

} // namespace

DesktopAppearance::DesktopAppearance(QObject *parent) : QObject(parent) {
    QDBusConnection::sessionBus().connect(service, path, settingsInterface, QStringLiteral("SettingChanged"), this,
                                          SLOT(settingChanged(QString, QString, QDBusVariant)));
}

void DesktopAppearance::apply() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, settingsInterface, QStringLiteral("Read"));
    call << group << key;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
    use(preferenceOf(unwrap(reply.arguments().constFirst())));
}

void DesktopAppearance::settingChanged(const QString &changedGroup, const QString &changedKey,
                                       const QDBusVariant &value) {
    if (changedGroup == group && changedKey == key) use(preferenceOf(unwrap(value.variant())));
}

bool DesktopAppearance::isDark(const QPalette &palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QPalette DesktopAppearance::darkPalette() {
    QPalette p;
    const QColor window(0x2b, 0x2d, 0x31), base(0x1f, 0x21, 0x24), text(0xe8, 0xea, 0xed);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0xa0, 0xa6));
    p.setColor(QPalette::Button, QColor(0x3c, 0x3f, 0x44));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, QColor(0x3b, 0x82, 0xf6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x8a, 0xb4, 0xf8));
    p.setColor(QPalette::Mid, QColor(0x45, 0x48, 0x4d));
    p.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x86, 0x8b));
    return p;
}

void DesktopAppearance::use(Preference preference) {
    preference_ = preference;
    const QPalette current = QApplication::palette();
    if (preference == Preference::dark && !isDark(current)) {
        original_ = current;
        // Fusion draws every control from the palette, so a dark palette reads as a dark app.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkPalette());
    } else if (preference != Preference::dark && original_) {
        QApplication::setPalette(*original_);
        original_.reset();
    }
}

} // namespace quorvel::app
