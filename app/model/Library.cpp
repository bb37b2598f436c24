#include "model/Library.hpp"

#include "model/Preferences.hpp"
#include "model/Services.hpp"
#include "model/Workers.hpp"

#include "store/LibraryCheck.hpp"
#include "store/LocalStore.hpp"

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
    int64_t generation = 0;
    int64_t fileCount = 0;
    int64_t storageBytes = 0;
    std::optional<double> latestUpdated;
    std::optional<double> lastSyncAt;
    std::optional<std::string> storedEmail;
    Lists lists;
    bool damaged = false;
};

LibraryAnswer loadLibrary(LocalStore &store, TreeSort sort) {
    LibraryAnswer a;
    // Read first: a commit of another process between here and the lists can only make the answer
    // newer than its generation, which costs one more reload later, never a missed one.
    a.generation = store.generation();
    a.fileCount = store.fileCount();
    a.storageBytes = store.storageBytes();
    a.latestUpdated = store.latestUpdatedAt();
    a.lastSyncAt = store.lastSyncAt();
    a.storedEmail = store.email();
    a.lists = loadLists(store, sort);
    a.damaged = store.isDamaged();
    return a;
}

QString checkSentence(const std::optional<LibraryCheckReport> &report) {
    if (!report) return QStringLiteral("보관소를 검사하지 못했어요.");
    if (!report->databaseProblems.empty())
        return QStringLiteral("보관소가 손상되어 있어요. 다음 동기화에서 처음부터 다시 내려받아요.");
    if (!report->alteredImages.empty() || !report->missingImages.empty())
        return QStringLiteral("이미지 %1개가 손상되었거나 없어요. 다음 동기화에서 문서 %2개의 이미지를 다시 받아요.")
            .arg(report->alteredImages.size() + report->missingImages.size())
            .arg(report->documentsToRepair.size());
    return QStringLiteral("문제가 없어요. 이미지 %1개를 확인했어요.").arg(report->imagesChecked);
}

} // namespace

Library::Library(Workers &workers, const Services &services, Preferences &preferences, QObject *parent)
    : QObject(parent), workers_(workers), preferences_(preferences), store_(services.store) {
    treeSort_ = preferences_.treeSort();
    expandedFolders_ = preferences_.expandedFolders();
}

std::set<int64_t> Library::held(const std::set<int64_t> &fileIDs) const {
    std::set<int64_t> found;
    std::vector<const std::vector<TreeNode> *> levels{&tree()};
    while (!levels.empty() && found.size() < fileIDs.size()) {
        const std::vector<TreeNode> *level = levels.back();
        levels.pop_back();
        for (const TreeNode &node : *level) {
            if (const FileSummary *file = node.file(); file && fileIDs.contains(file->id)) found.insert(file->id);
            if (node.children) levels.push_back(&*node.children);
        }
    }
    return found;
}

bool Library::holds(int64_t fileID) const {
    return !held({fileID}).empty();
}

// A check in flight stops rather than holding up the workers' end.
Library::~Library() {
    checkStop_.request_stop();
}

void Library::reload() {
    const quint64 asked = workers_.nextTicket();
    reloadAsked_ = asked;
    workers_.onStore(
        this, [store = store_, sort = treeSort()] { return loadLibrary(*store, sort); },
        [this, asked](LibraryAnswer a) {
            shownGeneration_ = a.generation;
            fileCount_ = a.fileCount;
            storageBytes_ = a.storageBytes;
            latestUpdated_ = a.latestUpdated;
            lastSyncAt_ = a.lastSyncAt;
            storedEmail_ = std::move(a.storedEmail);
            tree_ = std::move(a.lists.tree);
            recent_ = std::move(a.lists.recent);
            Q_EMIT reloaded(asked);
            if (a.damaged) Q_EMIT damageFound();
        });
}

void Library::refreshLists() {
    workers_.onStore(
        this, [store = store_, sort = treeSort()] { return loadLists(*store, sort); },
        [this](Lists lists) {
            tree_ = std::move(lists.tree);
            recent_ = std::move(lists.recent);
        });
}

void Library::setTreeSort(TreeSort sort) {
    if (sort == treeSort()) return;
    preferences_.setTreeSort(sort);
    treeSort_ = sort;
    refreshLists();
}

void Library::setExpandedFolders(std::set<std::string> ids) {
    if (ids == expandedFolders()) return;
    preferences_.setExpandedFolders(ids);
    expandedFolders_ = std::move(ids);
}

void Library::check() {
    if (isChecking_) return;
    isChecking_ = true;
    checkMessage_ = std::nullopt;
    workers_.onWorker(
        this,
        [store = store_, stop = checkStop_.get_token()]() -> std::optional<LibraryCheckReport> {
            try {
                return LibraryCheck::run(*store, stop);
            } catch (const std::exception &) {
                return std::nullopt;
            }
        },
        [this](std::optional<LibraryCheckReport> report) {
            isChecking_ = false;
            if (report && !report->complete) return; // stopped on the way: it found nothing to tell
            checkMessage_ = checkSentence(report);
            if (report && !report->isSound()) Q_EMIT repairWanted();
        });
}

void Library::clear() {
    tree_ = std::vector<TreeNode>{};
    recent_ = std::vector<FileSummary>{};
    fileCount_ = 0;
    storageBytes_ = 0;
    latestUpdated_ = std::nullopt;
    lastSyncAt_ = std::nullopt;
    storedEmail_.reset();
    shownGeneration_.reset();
    setExpandedFolders({});
}

} // namespace quorvel::app
