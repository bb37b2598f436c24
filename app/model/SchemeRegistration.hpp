#pragma once

#include <QString>
#include <QStringList>

namespace quorvel::app {

// Makes the browser's quorvel://link?… redirect reach this program. An installed package brings
// its own desktop entry; a build run from anywhere else registers itself for the user.
namespace SchemeRegistration {

inline constexpr const char *mimeType = "x-scheme-handler/quorvel";

// The applications directories the desktop searches ($XDG_DATA_HOME, then $XDG_DATA_DIRS).
QStringList applicationDirectories();
// Whether a desktop entry in one of them handles the scheme.
bool isRegistered();
// Registers `program` when nothing handles the scheme yet: a desktop entry in the user's
// applications directory and the user's default for the scheme. True when a handler exists after.
bool ensure(const QString &program);
// Whether a desktop entry's text declares the scheme in its MimeType key.
bool declaresScheme(const QString &entryText);

} // namespace SchemeRegistration

} // namespace quorvel::app
