#pragma once

#include "model/LinkResult.hpp"
#include "model/UrlOpener.hpp"

#include "auth/PKCE.hpp"

#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>
#include <string>

namespace quorvel::app {

// Drives the browser sign-in: opens the service's link page in the default browser and turns the
// browser's redirect to quorvel://link?… (handed over by the single-instance channel) into one
// LinkResult per attempt. Main thread only.
class LinkCoordinator : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(const LinkResult &)>;

    explicit LinkCoordinator(UrlOpener openUrl = desktopUrlOpener(), QObject *parent = nullptr);

    // Starts an attempt; an attempt still open is finished silently first (its completion never runs).
    void start(const std::string &baseURL, const std::string &deviceName, Completion completion);
    // The user gave up waiting: the open attempt ends as cancelled.
    void cancel();
    // A callback URL from the browser, as received. False when no attempt is open to take it.
    bool handleCallback(const QString &url);
    bool isOpen() const { return attempt_.has_value(); }
    // The link page of the open attempt (for a "copy the address" fallback and for tests).
    QUrl linkURL() const { return attempt_ ? attempt_->linkURL : QUrl(); }

    static LinkResult resultFor(const std::string &callbackURL, const std::string &expectedState,
                                const std::string &verifier);

private:
    struct Attempt {
        PKCE pkce;
        QUrl linkURL;
        Completion completion;
    };
    void finish(const LinkResult &result);

    UrlOpener openUrl_;
    std::optional<Attempt> attempt_;
};

} // namespace quorvel::app
