#pragma once

#include "store/FileSummary.hpp"
#include "store/TreeNode.hpp"
#include "store/TreeSort.hpp"

#include <QObject>
#include <QProperty>
#include <QString>

#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

class Preferences;
class Workers;
struct Services;

// The stored library as the screens list it: the folder tree in its order, the recently read
// documents, the figures of the footer and the settings, which folders are open, and the check
// of the library's files. Everything is read on the store queue; a query that fails shows as empty.
class Library : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::vector<quorvel::TreeNode> tree READ tree NOTIFY treeChanged)
    Q_PROPERTY(std::vector<quorvel::FileSummary> recent READ recent NOTIFY recentChanged)
    Q_PROPERTY(int64_t fileCount READ fileCount NOTIFY fileCountChanged)
    Q_PROPERTY(int64_t storageBytes READ storageBytes NOTIFY storageBytesChanged)
    Q_PROPERTY(std::optional<double> latestUpdated READ latestUpdated NOTIFY latestUpdatedChanged)
    Q_PROPERTY(std::optional<double> lastSyncAt READ lastSyncAt NOTIFY lastSyncAtChanged)
    Q_PROPERTY(quorvel::TreeSort treeSort READ treeSort WRITE setTreeSort NOTIFY treeSortChanged)
    Q_PROPERTY(std::set<std::string> expandedFolders READ expandedFolders WRITE setExpandedFolders NOTIFY
                   expandedFoldersChanged)
    Q_PROPERTY(bool isChecking READ isChecking NOTIFY isCheckingChanged)
    Q_PROPERTY(std::optional<QString> checkMessage READ checkMessage NOTIFY checkMessageChanged)

public:
    Library(Workers &workers, const Services &services, Preferences &preferences, QObject *parent = nullptr);
    ~Library() override;

    const std::vector<TreeNode> &tree() const { return tree_.value(); }
    const std::vector<FileSummary> &recent() const { return recent_.value(); }
    int64_t fileCount() const { return fileCount_; }
    int64_t storageBytes() const { return storageBytes_; }
    // The newest modification among the documents.
    const std::optional<double> &latestUpdated() const { return latestUpdated_.value(); }
    // The end of the last successful sync.
    const std::optional<double> &lastSyncAt() const { return lastSyncAt_.value(); }
    TreeSort treeSort() const { return treeSort_; }
    const std::set<std::string> &expandedFolders() const { return expandedFolders_.value(); }
    bool isChecking() const { return isChecking_; }
    // What the last check of the library found, in a sentence for the settings.
    const std::optional<QString> &checkMessage() const { return checkMessage_.value(); }
    // The e-mail address kept with the library at the last reload (the account's, when it has none).
    const std::optional<std::string> &storedEmail() const { return storedEmail_; }
    // The library's generation the figures and lists were last read at; absent before the first
    // answer and after an erase.
    std::optional<int64_t> shownGeneration() const { return shownGeneration_; }
    // A reload was asked after the store work at `ticket`: its answer will show that work's library.
    bool reloadAskedAfter(quint64 ticket) const { return reloadAsked_ > ticket; }
    // The library the app itself left (after its own erase) is the one on screen.
    void noteGeneration(int64_t generation) { shownGeneration_ = generation; }
    // Another process synced and found nothing new: only the footer's time moves.
    void noteLastSync(std::optional<double> at) { lastSyncAt_ = at; }

    // The tree shown holds document `fileID`.
    bool holds(int64_t fileID) const;
    // Which of `fileIDs` the tree shown holds, in one walk of it.
    std::set<int64_t> held(const std::set<int64_t> &fileIDs) const;

    // Reads the figures and both lists again; reloaded() follows with the answer.
    void reload();
    // Reads the tree and the recent list again.
    void refreshLists();
    void setTreeSort(TreeSort sort);
    void setExpandedFolders(std::set<std::string> ids);
    // Verifies the database and every image. What is found damaged is marked for the next sync,
    // and repairWanted() asks for that sync at once.
    void check();
    // The library was erased: nothing of it is shown any more.
    void clear();

Q_SIGNALS:
    void treeChanged();
    void recentChanged();
    void fileCountChanged();
    void storageBytesChanged();
    void latestUpdatedChanged();
    void lastSyncAtChanged();
    void treeSortChanged();
    void expandedFoldersChanged();
    void isCheckingChanged();
    void checkMessageChanged();
    // A reload was answered; `asked` is its place on the store queue.
    void reloaded(quint64 asked);
    // A reload found the database damaged (the next sync rebuilds it).
    void damageFound();
    // A check marked something for the next sync to fetch again.
    void repairWanted();

private:
    Workers &workers_;
    Preferences &preferences_;
    std::shared_ptr<LocalStore> store_;
    std::optional<std::string> storedEmail_;
    std::optional<int64_t> shownGeneration_;
    quint64 reloadAsked_ = 0;
    std::stop_source checkStop_;

    Q_OBJECT_BINDABLE_PROPERTY(Library, std::vector<TreeNode>, tree_, &Library::treeChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, std::vector<FileSummary>, recent_, &Library::recentChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, int64_t, fileCount_, &Library::fileCountChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, int64_t, storageBytes_, &Library::storageBytesChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, std::optional<double>, latestUpdated_, &Library::latestUpdatedChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, std::optional<double>, lastSyncAt_, &Library::lastSyncAtChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, TreeSort, treeSort_, &Library::treeSortChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, std::set<std::string>, expandedFolders_, &Library::expandedFoldersChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, bool, isChecking_, &Library::isCheckingChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Library, std::optional<QString>, checkMessage_, &Library::checkMessageChanged)
};

} // namespace quorvel::app
