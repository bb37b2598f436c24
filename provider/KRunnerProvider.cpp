#include "KRunnerProvider.hpp"

#include "AppOpener.hpp"
#include "ProviderQuery.hpp"
#include "SearchAnswers.hpp"

#include "util/DocumentLink.hpp"

#include <QDBusError>

namespace quorvel::provider {

KRunnerProvider::KRunnerProvider(SearchAnswers &answers, const AppOpener &opener, QObject *parent)
    : QObject(parent), answers_(answers), opener_(opener) {}

RemoteActions KRunnerProvider::Actions() {
    Q_EMIT called();
    return {};
}

RemoteMatches KRunnerProvider::Match(const QString &query) {
    Q_EMIT called();
    const auto answers = answers_.search(ProviderQuery::fromText(query.toStdString()), resultLimit);
    RemoteMatches matches;
    for (size_t rank = 0; rank < answers.size(); ++rank) {
        const Answer &a = answers[rank];
        const QString link = QString::fromStdString(a.link);
        // The store's order, from 1 down towards 0.5, so that KRunner keeps it.
        const double relevance = 1.0 - 0.5 * static_cast<double>(rank) / static_cast<double>(answers.size());
        matches << RemoteMatch{link,
                               QString::fromStdString(a.title),
                               QStringLiteral("kr.vatsu.quorvel"),
                               possibleMatch,
                               relevance,
                               {{QStringLiteral("subtext"), QString::fromStdString(a.description)},
                                {QStringLiteral("urls"), QStringList{link}},
                                {QStringLiteral("actions"), QStringList{}}}};
    }
    return matches;
}

void KRunnerProvider::Run(const QString &matchId, const QString &actionId) {
    Q_EMIT called();
    auto id = DocumentLink::parse(matchId.toStdString());
    if (!id || !actionId.isEmpty()) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("not a match or action of this runner"));
        return;
    }
    // The link is written anew from the id: only what was checked reaches the app.
    if (!opener_.open(QString::fromStdString(DocumentLink::make(*id))))
        sendErrorReply(QDBusError::Failed, QStringLiteral("the app could not be started"));
}

void KRunnerProvider::Teardown() {
    Q_EMIT called();
    answers_.forget();
}

} // namespace quorvel::provider
