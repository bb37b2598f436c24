#pragma once

#include <QString>

namespace quorvel::provider {

// Starts the desktop app as its desktop entry does, "quorvel -- URL": a running app takes the URL
// over its single-instance channel, otherwise the started process becomes the app.
class AppOpener {
public:
    explicit AppOpener(QString program) : program_(std::move(program)) {}

    // Without a URL the app only comes to the front. False when the program could not be started.
    bool open(const QString &url = {}) const;

private:
    QString program_;
};

} // namespace quorvel::provider
