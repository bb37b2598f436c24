#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace quorvel::app {

// The screens' symbols: the desktop icon theme's when it has one, else the app's own, so the app
// looks whole on a desktop without an icon theme.
namespace Icons {

enum class Symbol {
    sync,     // view-refresh
    zoomIn,   // zoom-in
    zoomOut,  // zoom-out
    print,    // document-print
    edit,     // document-edit
    folder,   // folder
    document, // text-x-generic
    account,  // avatar-default
    warning,  // dialog-warning
    key,      // dialog-password
    upToDate, // emblem-ok
    offline,  // network-offline
    syncing,  // emblem-synchronizing
    upgrade,  // software-update-urgent
    tray,     // empty library
    settings, // preferences-system
    sort,     // view-sort
    search,   // system-search
    back,     // go-previous
    forward,  // go-next
    app,      // kr.vatsu.quorvel
};

QIcon icon(Symbol symbol);
// The app's own drawing in one colour (status badges carry their colour in the symbol).
QIcon tinted(Symbol symbol, const QColor &color);

} // namespace Icons

} // namespace quorvel::app
