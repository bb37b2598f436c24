#pragma once

// What the window suites ask of a window: which screen shows, a child by its object name, a text on
// screen, and a picture of it for a person to look at.
#include "views/MainWindow.hpp"
#include "views/RootView.hpp"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace quorvel::app::test {

template <class T>
bool showing(MainWindow &window) {
    return qobject_cast<T *>(window.root()->currentWidget()) != nullptr;
}

template <class T>
T *named(QObject *root, const char *name) {
    if (T *child = root->findChild<T *>(QString::fromLatin1(name))) return child;
    qFatal("no %s", name);
}

inline bool shows(QWidget *root, const QString &text) {
    for (QLabel *label : root->findChildren<QLabel *>())
        if (label->isVisible() && label->text() == text) return true;
    for (QPushButton *button : root->findChildren<QPushButton *>())
        if (button->isVisible() && button->text() == text) return true;
    return false;
}

// Without `settle`, taken at once: the state a signal just told of is what shows.
inline void screenshot(QWidget *widget, const QString &name, bool settle = true) {
    const QString dir =
        qEnvironmentVariable("QUORVEL_BINARY_DIR", QStringLiteral(".")) + QStringLiteral("/screenshots");
    QDir().mkpath(dir);
    if (settle) QTest::qWait(300);
    widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace quorvel::app::test
