#include "GnomeSearchProvider.hpp"

#include "AppOpener.hpp"
#include "ProviderQuery.hpp"
#include "SearchAnswers.hpp"

#include "util/DocumentLink.hpp"

#include <QDBusError>
#include <QSet>

namespace quorvel::provider {

namespace {

// Far more than the shell ever shows at once; a caller asking for more gets the first ones.
constexpr qsizetype metasAtMost = 200;

std::string query(const QStringList &terms) {
    std::vector<std::string> words;
    for (const auto &t : terms)
        words.push_back(t.toStdString());
    return ProviderQuery::fromTerms(words);
}

QStringList links(const std::vector<Answer> &answers) {
    QStringList out;
    for (const auto &a : answers)
        out << QString::fromStdString(a.link);
    return out;
}

} // namespace

GnomeSearchProvider::GnomeSearchProvider(SearchAnswers &answers, const AppOpener &opener, QObject *parent)
    : QObject(parent), answers_(answers), opener_(opener) {}

QStringList GnomeSearchProvider::GetInitialResultSet(const QStringList &terms) {
    Q_EMIT called();
    return links(answers_.search(query(terms), resultLimit));
}

// The shell promises the new terms narrow the old ones, and expects no result it was not given
// before: a fresh search keeps the store's ranking, filtered to those.
QStringList GnomeSearchProvider::GetSubsearchResultSet(const QStringList &previousResults, const QStringList &terms) {
    Q_EMIT called();
    const QSet<QString> previous(previousResults.begin(), previousResults.end());
    QStringList out;
    for (const auto &link : links(answers_.search(query(terms), resultLimit)))
        if (previous.contains(link)) out << link;
    return out;
}

QList<QVariantMap> GnomeSearchProvider::GetResultMetas(const QStringList &identifiers) {
    Q_EMIT called();
    QList<QVariantMap> metas;
    for (const auto &identifier : identifiers.mid(0, metasAtMost)) {
        auto id = DocumentLink::parse(identifier.toStdString());
        auto found = id ? answers_.answer(*id) : std::nullopt;
        if (!found) continue;
        metas << QVariantMap{{QStringLiteral("id"), identifier},
                             {QStringLiteral("name"), QString::fromStdString(found->title)},
                             {QStringLiteral("description"), QString::fromStdString(found->description)},
                             {QStringLiteral("gicon"), QStringLiteral("kr.vatsu.quorvel")}};
    }
    return metas;
}

void GnomeSearchProvider::ActivateResult(const QString &identifier, const QStringList &, uint) {
    Q_EMIT called();
    auto id = DocumentLink::parse(identifier.toStdString());
    if (!id) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("not a result of this provider"));
        return;
    }
    // The link is written anew from the id: only what was checked reaches the app.
    if (!opener_.open(QString::fromStdString(DocumentLink::make(*id))))
        sendErrorReply(QDBusError::Failed, QStringLiteral("the app could not be started"));
}

void GnomeSearchProvider::LaunchSearch(const QStringList &, uint) {
    Q_EMIT called();
    if (!opener_.open()) sendErrorReply(QDBusError::Failed, QStringLiteral("the app could not be started"));
}

} // namespace quorvel::provider
