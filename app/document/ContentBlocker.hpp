#pragma once

#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>
#include <vector>

namespace quorvel::app {

// The viewer's network lockdown: one request interceptor, set up once per process and installed
// into every viewer's profile, that lets through only the app's own schemes, data: and about:.
// A viewer asks for it with load() and shows no document before the answer.
class ContentBlocker : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    // Receives the blocker once it is ready, or null when it could not be set up.
    using Completion = std::function<void(ContentBlocker *)>;
    // Gets the blocker ready and calls `finish` (at once or later, on the main thread) with the outcome.
    using SetUp = std::function<void(std::function<void(bool ready)> finish)>;

    static ContentBlocker &shared();

    // Main thread only. Answers at once when the blocker is ready; otherwise when the running (or a
    // new) set-up ends. Waiters are answered in the order they asked; a failed set-up is not
    // remembered, so the next load tries again.
    void load(Completion completion);

    // Replaces how the blocker gets ready and forgets an earlier outcome, so a test can hold the
    // set-up back or make it fail. Not while a set-up is running.
    void setSetUp(SetUp setUp);

    // Whether a request for `url` may leave the page at all.
    static bool allows(const QUrl &url);

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

Q_SIGNALS:
    // A request the blocker stopped; for tests and diagnostics.
    void blocked(const QUrl &url);

private:
    ContentBlocker();
    void finish(bool ready);

    SetUp setUp_;
    bool ready_ = false;
    bool settingUp_ = false;
    std::vector<Completion> waiters_;
};

} // namespace quorvel::app
