#pragma once

#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace quorvel::provider {

class AppOpener;
class SearchAnswers;

// GNOME Shell's org.gnome.Shell.SearchProvider2: results are named by their document links.
class GnomeSearchProvider : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
public:
    static constexpr int resultLimit = 100;

    GnomeSearchProvider(SearchAnswers &answers, const AppOpener &opener, QObject *parent = nullptr);

public Q_SLOTS:
    QStringList GetInitialResultSet(const QStringList &terms);
    QStringList GetSubsearchResultSet(const QStringList &previousResults, const QStringList &terms);
    QList<QVariantMap> GetResultMetas(const QStringList &identifiers);
    void ActivateResult(const QString &identifier, const QStringList &terms, uint timestamp);
    void LaunchSearch(const QStringList &terms, uint timestamp);

Q_SIGNALS:
    void called();

private:
    SearchAnswers &answers_;
    const AppOpener &opener_;
};

} // namespace quorvel::provider
