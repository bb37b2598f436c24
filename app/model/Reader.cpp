#include "model/Reader.hpp"

#include "model/Connectivity.hpp"
#include "model/Environment.hpp"
#include "model/Library.hpp"
#include "model/Preferences.hpp"
#include "model/Services.hpp"
#include "model/Workers.hpp"

#include "document/DocumentPage.hpp"

#include "store/LocalStore.hpp"

namespace quorvel::app {

struct Reader::DocumentAnswer {
    std::optional<DocumentRecord> record;
    std::optional<std::string> shellVersion;
    std::optional<PageContent> page; // absent: the page shown stays
};

namespace {

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

} // namespace

Reader::Reader(Workers &workers, const Services &services, Preferences &preferences, Connectivity &connectivity,
               const Library &library, const Environment &environment, QObject *parent)
    : QObject(parent), workers_(workers), preferences_(preferences), connectivity_(connectivity), library_(library),
      environment_(environment), store_(services.store) {
    zoom_ = preferences_.documentZoom();
    auto editable = [this] { canEditOnWeb_ = connectivity_.isOnline() && currentFileID().has_value(); };
    connect(&connectivity_, &Connectivity::isOnlineChanged, this, editable);
    connect(this, &Reader::currentFileIDChanged, this, editable);
    editable();
}

PageContent Reader::makePage(const DocumentRecord &record, const std::optional<ShellRecord> &shell) {
    auto page =
        DocumentPage::buildOutlined(shell ? std::optional<std::string>(shell->html) : std::nullopt, record.renderHTML);
    std::string key =
        PageContent::makeKey(record.summary.id, record.summary.contentHash,
                             shell ? std::optional<std::string>(shell->version) : std::nullopt, page.html.size());
    return PageContent{std::move(key), std::move(page.html), std::move(page.outline)};
}

QString Reader::notStoredMessage() {
    return QStringLiteral("이 문서는 이 컴퓨터에 저장되어 있지 않아요. 인터넷에 연결되면 웹에서 열 수 있어요.");
}

void Reader::select(const std::optional<QString> &row) {
    if (sidebarSelection() == row) return;
    sidebarSelection_ = row;
    if (!row) return;
    if (auto fileID = documentOfRow(*row)) open(*fileID);
}

void Reader::selectSearchResult(const std::optional<int64_t> &fileID, const QString &marks) {
    if (searchSelection() == fileID) return;
    searchSelection_ = fileID;
    if (fileID) open(*fileID, marks);
}

void Reader::clearSearchSelection() {
    searchSelection_ = std::nullopt;
    setMarks({});
}

void Reader::open(int64_t fileID, const QString &marks) {
    setMarks(marks);
    openAt(fileID, Landing{});
}

bool Reader::followLink(int64_t fileID, const QString &fragment) {
    if (!library_.holds(fileID)) {
        if (connectivity_.isOnline()) return false;
        Q_EMIT linkNotStored();
        return true;
    }
    setMarks({});
    openAt(fileID, Landing{std::nullopt, fragment});
    return true;
}

void Reader::back() {
    goTo(history_.back());
}

void Reader::forward() {
    goTo(history_.forward());
}

void Reader::goTo(std::optional<ReadingHistory::Place> place) {
    if (!place) return;
    historyMoved();
    setMarks({});
    openAt(place->fileID, Landing{place->scrollY, {}, false});
}

void Reader::noteScroll(double y) {
    if (currentFileID() && history_.current() && history_.places()[*history_.current()].fileID == *currentFileID())
        history_.noteScroll(y);
}

void Reader::forgetHistory() {
    history_.clear();
    historyMoved();
}

void Reader::pruneHistory() {
    // After every reload: one walk of the tree for all the places, not one for each.
    std::set<int64_t> read;
    for (const ReadingHistory::Place &place : history_.places())
        read.insert(place.fileID);
    if (read.empty()) return;
    const std::set<int64_t> kept = library_.held(read);
    history_.retain([&kept](int64_t fileID) { return kept.contains(fileID); });
    historyMoved();
}

void Reader::historyMoved() {
    canGoBack_ = history_.canGoBack();
    canGoForward_ = history_.canGoForward();
}

void Reader::setMarks(const QString &marks) {
    marks_ = marks.trimmed();
}

void Reader::arrive(const Landing &landing) {
    if (!page()) return;
    arrival_ = PageArrival{page()->key, landing.scrollY, landing.fragment, ++arrivals_};
}

void Reader::openAt(int64_t fileID, Landing landing) {
    if (currentFileID() == fileID && openDocument()) {
        if (landing.visit) history_.visit(fileID);
        historyMoved();
        if (landing.scrollY || !landing.fragment.isEmpty()) arrive(landing);
        return;
    }
    if (openingID_ == fileID) return;
    const uint64_t ticket = ++opening_;
    openingID_ = fileID;
    workers_.onStore(
        this,
        [store = store_, fileID, now = environment_.now()] {
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
        [this, ticket, fileID, landing](DocumentAnswer a) {
            if (ticket != opening_) return;
            openingID_.reset();
            if (a.record) show(fileID, std::move(a), landing);
        });
}

void Reader::show(int64_t fileID, DocumentAnswer a, const Landing &landing) {
    shellVersion_ = a.shellVersion;
    if (landing.visit) history_.visit(fileID);
    historyMoved();
    currentFileID_ = std::optional<int64_t>(fileID);
    openDocument_ = std::move(a.record);
    page_ = std::move(a.page);
    arrive(landing);
    Q_EMIT documentSeen();
    const QString number = QString::number(fileID);
    if (sidebarSelection() != QLatin1Char('f') + number && sidebarSelection() != QLatin1Char('r') + number)
        sidebarSelection_ = std::optional<QString>(QLatin1Char('f') + number);
}

void Reader::close() {
    ++opening_;
    openingID_.reset();
    shellVersion_.reset();
    currentFileID_ = std::nullopt;
    openDocument_ = std::nullopt;
    page_ = std::nullopt;
    arrival_ = std::nullopt;
    sidebarSelection_ = std::nullopt;
    searchSelection_ = std::nullopt;
    setMarks({});
}

void Reader::refresh() {
    pruneHistory();
    if (!currentFileID() || !openDocument()) return;
    const int64_t fileID = *currentFileID();
    const uint64_t ticket = opening_;
    workers_.onStore(
        this,
        [store = store_, fileID, hash = openDocument()->summary.contentHash, cached = shellVersion_] {
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
            if (ticket != opening_ || currentFileID() != fileID) return;
            if (!a.record) return close(); // deleted on the service
            if (!a.page) return;
            // The reader is looking at it: the new version counts as seen.
            workers_.onStore(
                this,
                [store = store_, fileID] {
                    try {
                        store->markSeen(fileID);
                    } catch (const std::exception &) {}
                    return true;
                },
                [](bool) {});
            Q_EMIT documentSeen();
            shellVersion_ = a.shellVersion;
            openDocument_ = std::move(a.record);
            page_ = std::move(a.page);
        });
}

void Reader::setZoom(double zoom) {
    if (zoom == zoom_) return;
    preferences_.setDocumentZoom(zoom);
    zoom_ = zoom;
}

void Reader::editInWeb() {
    if (!canEditOnWeb()) return;
    environment_.openWebPage(QStringLiteral("/editor/") + QString::number(*currentFileID()));
}

} // namespace quorvel::app
