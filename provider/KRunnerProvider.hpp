#pragma once

#include "KRunnerTypes.hpp"

#include <QDBusContext>
#include <QObject>

namespace quorvel::provider {

class AppOpener;
class SearchAnswers;

// KRunner's org.kde.krunner1: each match is named by its document link, with no actions beside
// opening it.
class KRunnerProvider : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
public:
    static constexpr int resultLimit = 20;
    // KRunner's "possible match": shown among other runners' results, ranked by relevance.
    static constexpr int possibleMatch = 30;

    KRunnerProvider(SearchAnswers &answers, const AppOpener &opener, QObject *parent = nullptr);

public Q_SLOTS:
    quorvel::provider::RemoteActions Actions();
    quorvel::provider::RemoteMatches Match(const QString &query);
    void Run(const QString &matchId, const QString &actionId);
    void Teardown();

Q_SIGNALS:
    void called();

private:
    SearchAnswers &answers_;
    const AppOpener &opener_;
};

} // namespace quorvel::provider
