#include "document/ContentBlocker.hpp"

#include "document/AssetSchemeHandler.hpp"
#include "document/PageSchemeHandler.hpp"

#include <QCoreApplication>
#include <QThread>
#include <QWebEngineUrlRequestInfo>

namespace quorvel::app {

ContentBlocker::ContentBlocker() {
    // Nothing to compile: the interceptor is ready as soon as it exists.
    setUp_ = [](std::function<void(bool)> finish) { finish(true); };
}

ContentBlocker &ContentBlocker::shared() {
    static ContentBlocker blocker;
    return blocker;
}

void ContentBlocker::load(Completion completion) {
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        qFatal("ContentBlocker::load called off the main thread");
    if (ready_) {
        completion(this);
        return;
    }
    waiters_.push_back(std::move(completion));
    if (settingUp_) return;
    settingUp_ = true;
    setUp_([this](bool ready) { finish(ready); });
}

void ContentBlocker::setSetUp(SetUp setUp) {
    Q_ASSERT(!settingUp_);
    setUp_ = std::move(setUp);
    ready_ = false;
}

void ContentBlocker::finish(bool ready) {
    settingUp_ = false;
    ready_ = ready;
    // A waiter may ask again from its completion; it joins a fresh list.
    std::vector<Completion> waiters;
    waiters.swap(waiters_);
    for (auto &waiter : waiters)
        waiter(ready ? this : nullptr);
}

bool ContentBlocker::allows(const QUrl &url) {
    const QString scheme = url.scheme();
    for (const char *own : {AssetSchemeHandler::scheme, PageSchemeHandler::scheme, "data", "about"}) {
        if (scheme.compare(QLatin1String(own), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

void ContentBlocker::interceptRequest(QWebEngineUrlRequestInfo &info) {
    if (allows(info.requestUrl())) return;
    info.block(true);
    Q_EMIT blocked(info.requestUrl());
}

} // namespace quorvel::app
