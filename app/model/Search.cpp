#include "model/Search.hpp"

#include "model/Services.hpp"
#include "model/Workers.hpp"

#include "store/LocalStore.hpp"

namespace quorvel::app {

Search::Search(Workers &workers, const Services &services, QObject *parent)
    : QObject(parent), workers_(workers), store_(services.store) {
    pause_.setSingleShot(true);
    pause_.setInterval(150);
    connect(&pause_, &QTimer::timeout, this, &Search::searchNow);
}

Search::~Search() {
    if (stop_) stop_->request_stop();
}

bool Search::isActive() const {
    return !searchText().trimmed().isEmpty();
}

void Search::setSearchText(const QString &text) {
    searchText_ = text;
    restart();
    const QString query = text.trimmed();
    if (query.isEmpty()) {
        results_ = std::vector<SearchResult>{};
        searchedQuery_ = QString();
        Q_EMIT queryCleared();
        return;
    }
    pendingQuery_ = query;
    pause_.start();
}

void Search::followLibrary(quint64 asked) {
    // A reload is not a keystroke to pause for; a search waiting out its pause reads the new library anyway.
    if (!isActive() || pause_.isActive() || searchAsked_ > asked) return;
    restart();
    pendingQuery_ = searchText().trimmed();
    searchNow();
}

void Search::clear() {
    setSearchText(QString());
}

void Search::restart() {
    pause_.stop();
    ++searching_;
    if (stop_) stop_->request_stop();
}

void Search::searchNow() {
    const uint64_t ticket = searching_;
    auto stop = std::make_shared<std::stop_source>();
    stop_ = stop;
    searchAsked_ = workers_.onStore(
        this,
        [store = store_, query = pendingQuery_.toStdString(), stop]() -> std::vector<SearchResult> {
            if (stop->stop_requested()) return {};
            try {
                // A newer keystroke stops this search rather than waiting behind it.
                return store->search(query, 100, stop->get_token());
            } catch (const std::exception &) {
                return {};
            }
        },
        [this, ticket, query = pendingQuery_](std::vector<SearchResult> results) {
            if (ticket != searching_) return;
            results_ = std::move(results);
            searchedQuery_ = query;
        });
}

} // namespace quorvel::app
