#include "AppOpener.hpp"

#include <QProcess>

namespace quorvel::provider {

bool AppOpener::open(const QString &url) const {
    QStringList arguments;
    if (!url.isEmpty()) arguments << QStringLiteral("--") << url;
    return QProcess::startDetached(program_, arguments);
}

} // namespace quorvel::provider
