#pragma once

#include "views/Icons.hpp"

#include <QString>

class QBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace quorvel::app {

// Small pieces the phase screens share, so they read alike.
namespace ScreenParts {

// A centred column of at most `width` pixels inside `host`; its layout receives the content.
QBoxLayout *centredColumn(QWidget *host, int width = 440);
QLabel *title(const QString &text, QWidget *parent, double scale = 1.6);
QLabel *text(const QString &text, QWidget *parent);
QLabel *secondary(const QString &text, QWidget *parent);
// A button that looks like a link; `text` ends with " ↗" when it leaves the app.
QPushButton *link(const QString &text, QWidget *parent);
QPushButton *button(const QString &text, QWidget *parent, bool primary = false);
// A large symbol in the secondary text colour, centred, as empty panes show it.
QLabel *symbol(Icons::Symbol symbol, QWidget *parent);

} // namespace ScreenParts

} // namespace quorvel::app
