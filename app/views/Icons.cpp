#include "views/Icons.hpp"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>

// Resources of a static library are registered by hand.
static void registerIconResources() {
    static const bool once = [] {
        Q_INIT_RESOURCE(Icons);
        return true;
    }();
    (void)once;
}

namespace quorvel::app::Icons {

namespace {

struct Names {
    const char *theme;
    const char *bundled;
};

Names namesOf(Symbol symbol) {
    switch (symbol) {
    case Symbol::sync:
        return {"view-refresh", "sync"};
    case Symbol::zoomIn:
        return {"zoom-in", "zoom-in"};
    case Symbol::zoomOut:
        return {"zoom-out", "zoom-out"};
    case Symbol::print:
        return {"document-print", "print"};
    case Symbol::edit:
        return {"document-edit", "edit"};
    case Symbol::folder:
        return {"folder", "folder"};
    case Symbol::document:
        return {"text-x-generic", "document"};
    case Symbol::account:
        return {"avatar-default", "account"};
    case Symbol::warning:
        return {"dialog-warning", "warning"};
    case Symbol::key:
        return {"dialog-password", "key"};
    case Symbol::upToDate:
        return {"emblem-ok", "check"};
    case Symbol::offline:
        return {"network-offline", "offline"};
    case Symbol::syncing:
        return {"emblem-synchronizing", "syncing"};
    case Symbol::upgrade:
        return {"software-update-urgent", "upgrade"};
    case Symbol::tray:
        return {"", "tray"};
    case Symbol::settings:
        return {"preferences-system", "settings"};
    case Symbol::sort:
        return {"view-sort", "sort"};
    case Symbol::search:
        return {"system-search", "search"};
    case Symbol::back:
        return {"go-previous", "back"};
    case Symbol::forward:
        return {"go-next", "forward"};
    case Symbol::app:
        return {"kr.vatsu.quorvel", "quorvel"};
    }
    return {"", "document"};
}

QString bundledPath(Symbol symbol) {
    return QStringLiteral(":/icons/") + QLatin1String(namesOf(symbol).bundled) + QStringLiteral(".svg");
}

} // namespace

QIcon icon(Symbol symbol) {
    registerIconResources();
    if (symbol == Symbol::app)
        return QIcon::fromTheme(QLatin1String(namesOf(symbol).theme), QIcon(bundledPath(symbol)));
    const QString theme = QLatin1String(namesOf(symbol).theme);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    // Our own symbols are drawn in the text colour, so they read on a light and a dark palette alike.
    return tinted(symbol, QApplication::palette().color(QPalette::WindowText));
}

QIcon tinted(Symbol symbol, const QColor &color) {
    registerIconResources();
    static QHash<QString, QIcon> cache;
    const QString key = QString::number(int(symbol)) + color.name(QColor::HexArgb);
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    QFile file(bundledPath(symbol));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    QSvgRenderer renderer(svg);
    QIcon result;
    for (int size : {16, 20, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        result.addPixmap(pixmap);
    }
    cache.insert(key, result);
    return result;
}

} // namespace quorvel::app::Icons
