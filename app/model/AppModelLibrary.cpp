#include "model/AppModel.hpp"

#include "document/DocumentPage.hpp"

#include "auth/AuthSession.hpp"
#include "store/LocalStore.hpp"

#include <QStringList>

namespace quorvel::app {

namespace {

struct Lists {
    std::vector<TreeNode> tree;
    std::vector<FileSummary> recent;
};

// The screens never see store errors: a list that cannot be read is empty.
Lists loadLists(LocalStore &store, TreeSort sort) {
    Lists lists;
    try {
        lists.tree = store.tree(sort);
    } catch (const std::exception &) {}
    try {
        lists.recent = store.recent();
    } catch (const std::exception &) {}
    return lists;
}

struct LibraryAnswer {
    int64_t fileCount = 0;
    int64_t storageBytes = 0;
    std::optional<double> latestUpdated;
    std::optional<double> lastSyncAt;
    std::optional<std::string> storedEmail;
    Lists lists;
    bool damaged = false;
};

struct DocumentAnswer {
    std::optional<DocumentRecord> record;
    std::optional<std::string> shellVersion;
    std::optional<PageContent> page;
};

// "f12" or "r12": the document a sidebar row stands for.
std::optional<int64_t> documentOfRow(const QString &id) {
    if (id.size() < 2 || (id[0] != QLatin1Char('f') && id[0] != QLatin1Char('r'))) return std::nullopt;
    const QStringView digits = QStringView(id).mid(1);
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    bool ok = false;
    const qlonglong n = digits.toLongLong(&ok);
    return ok ? std::optional<int64_t>(n) : std::nullopt;
}

std::optional<QString> optionalText(const std::optional<std::string> &s) {
    return s ? std::optional<QString>(QString::fromStdString(*s)) : std::nullopt;
}

} // namespace

void AppModel::reloadLibrary() {
    onStore(
        [store = store_, sort = treeSort_] {
            LibraryAnswer a;
            a.fileCount = store->fileCount();
            a.storageBytes = store->storageBytes();
            a.latestUpdated = store->latestUpdatedAt();
            a.lastSyncAt = store->lastSyncAt();
            a.storedEmail = store->email();
            a.lists = loadLists(*store, sort);
            a.damaged = store->isDamaged();
            return a;
        },
        [this, reload = ++libraryReloads_](LibraryAnswer a) {
            assign(fileCount_, a.fileCount, &AppModel::fileCountChanged);
            assign(storageBytes_, a.storageBytes, &AppModel::storageBytesChanged);
            assign(latestUpdated_, a.latestUpdated, &AppModel::latestUpdatedChanged);
            assign(lastSyncAt_, a.lastSyncAt, &AppModel::lastSyncAtChanged);
            auto email = services_.auth->email();
            assign(accountEmail_, optionalText(email ? email : a.storedEmail), &AppModel::accountEmailChanged);
            assign(tree_, std::move(a.lists.tree), &AppModel::treeChanged);
            assign(recent_, std::move(a.lists.recent), &AppModel::recentChanged);
            refreshOpenDocument();
            // The results follow the library, but a search asked for after this reload reads the
            // new library already, and one waiting out its pause will; neither is started again.
            // Otherwise it runs again at once: a reload is not a keystroke to pause for.
            if (isSearchActive() && !searchTimer_.isActive() && searchReload_ < reload) searchAgain();
            // A damaged library is rebuilt by the next sync; it need not wait for the timer. Once per
            // damage, so a disk that keeps failing is not asked again in a loop.
            if (a.damaged && !healRequested_ && !isSyncing_) {
                healRequested_ = true;
                [[maybe_unused]] auto healing = requestSync(SyncTrigger::launch);
            }
        });
}

void AppModel::refreshLists() {
    onStore([store = store_, sort = treeSort_] { return loadLists(*store, sort); },
            [this](Lists lists) {
                assign(tree_, std::move(lists.tree), &AppModel::treeChanged);
                assign(recent_, std::move(lists.recent), &AppModel::recentChanged);
            });
}

PageContent AppModel::makePage(const DocumentRecord &record, const std::optional<ShellRecord> &shell) {
    std::string html =
        DocumentPage::build(shell ? std::optional<std::string>(shell->html) : std::nullopt, record.renderHTML);
    std::string key =
        PageContent::makeKey(record.summary.id, record.summary.contentHash,
                             shell ? std::optional<std::string>(shell->version) : std::nullopt, html.size());
    return PageContent{std::move(key), std::move(html)};
}

void AppModel::open(int64_t fileID) {
    if (currentFileID_ == fileID && openDocument_) return;
    if (openingID_ == fileID) return;
    const uint64_t ticket = ++opening_;
    openingID_ = fileID;
    onStore(
        [store = store_, fileID, now = env_.now()] {
            DocumentAnswer a;
            try {
                store->recordView(fileID, now);
            } catch (const std::exception &) {}
            try {
                a.record = store->document(fileID);
                if (a.record) {
                    auto shell = store->shell();
                    if (shell) a.shellVersion = shell->version;
                    a.page = makePage(*a.record, shell);
                }
            } catch (const std::exception &) {
                a.record.reset();
            }
            return a;
        },
        [this, ticket, fileID](DocumentAnswer a) {
            if (ticket != opening_) return;
            openingID_.reset();
            if (!a.record) return;
            shellVersionCache_ = a.shellVersion;
            assign(currentFileID_, std::optional<int64_t>(fileID), &AppModel::currentFileIDChanged);
            assign(openDocument_, std::move(a.record), &AppModel::openDocumentChanged);
            assign(page_, std::move(a.page), &AppModel::pageChanged);
            refreshLists();
            const QString number = QString::number(fileID);
            if (sidebarSelection_ != QLatin1Char('f') + number && sidebarSelection_ != QLatin1Char('r') + number)
                assign(sidebarSelection_, std::optional<QString>(QLatin1Char('f') + number),
                       &AppModel::sidebarSelectionUpdated);
        });
}

void AppModel::clearSelection() {
    ++opening_;
    openingID_.reset();
    shellVersionCache_.reset();
    assign(currentFileID_, std::nullopt, &AppModel::currentFileIDChanged);
    assign(openDocument_, std::nullopt, &AppModel::openDocumentChanged);
    assign(page_, std::nullopt, &AppModel::pageChanged);
    assign(sidebarSelection_, std::nullopt, &AppModel::sidebarSelectionUpdated);
    assign(searchSelection_, std::nullopt, &AppModel::searchSelectionChanged);
}

void AppModel::refreshOpenDocument() {
    if (!currentFileID_ || !openDocument_) return;
    const int64_t fileID = *currentFileID_;
    const uint64_t ticket = opening_;
    onStore(
        [store = store_, fileID, hash = openDocument_->summary.contentHash, cached = shellVersionCache_] {
            DocumentAnswer a;
            try {
                a.record = store->document(fileID);
                if (a.record) {
                    auto shell = store->shell();
                    if (shell) a.shellVersion = shell->version;
                    // Only a new content or a new shell makes a new page; the rest keeps the viewer as it is.
                    if (a.record->summary.contentHash != hash || a.shellVersion != cached)
                        a.page = makePage(*a.record, shell);
                }
            } catch (const std::exception &) {
                a.record.reset();
            }
            return a;
        },
        [this, ticket, fileID](DocumentAnswer a) {
            if (ticket != opening_ || currentFileID_ != fileID) return;
            if (!a.record) {
                clearSelection();
                return;
            }
            if (!a.page) return;
            onStore(
                [store = store_, fileID] {
                    try {
                        store->markSeen(fileID);
                    } catch (const std::exception &) {}
                    return true;
                },
                [](bool) {});
            refreshLists();
            shellVersionCache_ = a.shellVersion;
            assign(openDocument_, std::move(a.record), &AppModel::openDocumentChanged);
            assign(page_, std::move(a.page), &AppModel::pageChanged);
        });
}

void AppModel::setSidebarSelection(const std::optional<QString> &id) {
    if (sidebarSelection_ == id) return;
    assign(sidebarSelection_, id, &AppModel::sidebarSelectionUpdated);
    sidebarSelectionChanged();
}

void AppModel::sidebarSelectionChanged() {
    if (!sidebarSelection_) return;
    if (auto fileID = documentOfRow(*sidebarSelection_)) open(*fileID);
}

void AppModel::setSearchSelection(const std::optional<int64_t> &fileID) {
    if (searchSelection_ == fileID) return;
    assign(searchSelection_, fileID, &AppModel::searchSelectionChanged);
    if (fileID) open(*fileID);
}

bool AppModel::isSearchActive() const {
    return !searchText_.trimmed().isEmpty();
}

bool AppModel::canEditOnWeb() const {
    return isOnline_ && currentFileID_.has_value();
}

void AppModel::setSearchText(const QString &text) {
    assign(searchText_, text, &AppModel::searchTextUpdated);
    searchTextChanged();
}

void AppModel::searchTextChanged() {
    searchTimer_.stop();
    ++searching_;
    if (searchStop_) searchStop_->request_stop();
    const QString query = searchText_.trimmed();
    if (query.isEmpty()) {
        assign(searchResults_, std::vector<SearchResult>{}, &AppModel::searchResultsChanged);
        assign(searchedQuery_, QString(), &AppModel::searchedQueryChanged);
        assign(searchSelection_, std::nullopt, &AppModel::searchSelectionChanged);
        return;
    }
    pendingQuery_ = query;
    searchTimer_.start();
}

void AppModel::searchAgain() {
    searchTimer_.stop();
    ++searching_;
    if (searchStop_) searchStop_->request_stop();
    pendingQuery_ = searchText_.trimmed();
    searchNow();
}

void AppModel::searchNow() {
    const uint64_t ticket = searching_;
    searchReload_ = libraryReloads_;
    auto stop = std::make_shared<std::stop_source>();
    searchStop_ = stop;
    onStore(
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
            assign(searchResults_, std::move(results), &AppModel::searchResultsChanged);
            assign(searchedQuery_, query, &AppModel::searchedQueryChanged);
        });
}

std::optional<QUrl> AppModel::webURL(const QString &path) const {
    QString base = QString::fromStdString(env_.baseURL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) return std::nullopt;
    return url;
}

void AppModel::editInWeb() {
    if (!isOnline_ || !currentFileID_) return;
    if (auto url = webURL(QStringLiteral("/editor/") + QString::number(*currentFileID_))) env_.openUrl(*url);
}

void AppModel::setPrintHandler(QPointer<QObject> owner, std::function<void()> print) {
    printOwner_ = std::move(owner);
    print_ = std::move(print);
}

void AppModel::printDocument() {
    if (printOwner_ && print_) print_();
}

void AppModel::setZoom(double zoom) {
    if (zoom == zoom_) return;
    zoom_ = zoom;
    settings_->setValue(QStringLiteral("DocumentZoom"), zoom);
    Q_EMIT zoomChanged();
}

void AppModel::setTreeSort(TreeSort sort) {
    if (sort == treeSort_) return;
    treeSort_ = sort;
    settings_->setValue(QStringLiteral("TreeSort"),
                        sort == TreeSort::name ? QStringLiteral("name") : QStringLiteral("updated"));
    Q_EMIT treeSortChanged();
    refreshLists();
}

void AppModel::setExpandedFolders(std::set<std::string> ids) {
    if (ids == expandedFolders_) return;
    expandedFolders_ = std::move(ids);
    QStringList stored;
    for (const auto &id : expandedFolders_)
        stored << QString::fromStdString(id);
    settings_->setValue(QStringLiteral("ExpandedFolders"), stored);
    Q_EMIT expandedFoldersChanged();
}

} // namespace quorvel::app
