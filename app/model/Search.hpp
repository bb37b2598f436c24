#pragma once

#include "store/SearchResult.hpp"

#include <QObject>
#include <QProperty>
#include <QString>
#include <QTimer>

#include <memory>
#include <stop_token>
#include <vector>

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

class Workers;
struct Services;

// The full-text search of the sidebar: the text typed, and the results for the last query that was
// answered. A keystroke waits 150 ms for the next one, and a newer query stops an older one still
// being answered, so only the last text is searched; at most 100 results.
class Search : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(std::vector<quorvel::SearchResult> results READ results NOTIFY resultsChanged)
    Q_PROPERTY(QString searchedQuery READ searchedQuery NOTIFY searchedQueryChanged)

public:
    Search(Workers &workers, const Services &services, QObject *parent = nullptr);
    ~Search() override;

    const QString &searchText() const { return searchText_.value(); }
    const std::vector<SearchResult> &results() const { return results_.value(); }
    // The query the results answer.
    const QString &searchedQuery() const { return searchedQuery_.value(); }
    // The text, trimmed, is not empty.
    bool isActive() const;

    // An empty (or blank) text clears the results at once; any other searches after the pause.
    void setSearchText(const QString &text);
    // The library was read again (`asked`: that reload's place on the store queue): active results
    // are searched again at once, unless a search asked for after it will answer from the new library.
    void followLibrary(quint64 asked);
    void clear();

Q_SIGNALS:
    void searchTextChanged();
    void resultsChanged();
    void searchedQueryChanged();
    // The text became blank: nothing is searched, no result can stay selected.
    void queryCleared();

private:
    void restart();
    void searchNow();

    Workers &workers_;
    std::shared_ptr<LocalStore> store_;
    QTimer pause_;
    QString pendingQuery_;
    uint64_t searching_ = 0;   // the newest text: older answers are dropped
    uint64_t searchAsked_ = 0; // the newest search's place on the store queue
    std::shared_ptr<std::stop_source> stop_;

    Q_OBJECT_BINDABLE_PROPERTY(Search, QString, searchText_, &Search::searchTextChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Search, std::vector<SearchResult>, results_, &Search::resultsChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Search, QString, searchedQuery_, &Search::searchedQueryChanged)
};

} // namespace quorvel::app
