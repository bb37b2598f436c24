#pragma once

#include "model/PageContent.hpp"

#include "store/DocumentRecord.hpp"
#include "store/ShellRecord.hpp"

#include <QObject>
#include <QProperty>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

class Connectivity;
class Preferences;
class Workers;
struct Environment;
struct Services;

// The document being read: which one is open and the page the viewer shows for it, the row of the
// sidebar or of the search results it was opened from, and the magnification. Opening records the
// view in the store; after a sync the open page is rebuilt only when its content or the shell changed.
class Reader : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<int64_t> currentFileID READ currentFileID NOTIFY currentFileIDChanged)
    Q_PROPERTY(std::optional<quorvel::DocumentRecord> openDocument READ openDocument NOTIFY openDocumentChanged)
    Q_PROPERTY(std::optional<quorvel::app::PageContent> page READ page NOTIFY pageChanged)
    Q_PROPERTY(std::optional<QString> sidebarSelection READ sidebarSelection NOTIFY sidebarSelectionChanged)
    Q_PROPERTY(std::optional<int64_t> searchSelection READ searchSelection NOTIFY searchSelectionChanged)
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    Q_PROPERTY(bool canEditOnWeb READ canEditOnWeb NOTIFY canEditOnWebChanged)

public:
    Reader(Workers &workers, const Services &services, Preferences &preferences, Connectivity &connectivity,
           const Environment &environment, QObject *parent = nullptr);

    const std::optional<int64_t> &currentFileID() const { return currentFileID_.value(); }
    const std::optional<DocumentRecord> &openDocument() const { return openDocument_.value(); }
    const std::optional<PageContent> &page() const { return page_.value(); }
    // The sidebar row the open document stands in: "f12" in the tree, "r12" among the recent ones.
    const std::optional<QString> &sidebarSelection() const { return sidebarSelection_.value(); }
    // The file id selected among the search results.
    const std::optional<int64_t> &searchSelection() const { return searchSelection_.value(); }
    double zoom() const { return zoom_; }
    // Online, with a document open.
    bool canEditOnWeb() const { return canEditOnWeb_; }

    // Selects a sidebar row; a document's row ("f12", "r12") opens it, any other opens nothing.
    void select(const std::optional<QString> &row);
    // Selects a search result; a result opens its document.
    void selectSearchResult(const std::optional<int64_t> &fileID);
    void clearSearchSelection();
    // Opens a document, unless it is the one open or being opened. The tree shows it selected.
    void open(int64_t fileID);
    // Nothing open, nothing selected.
    void close();
    // Reads the open document again (after a sync): closed when it is gone, a new page when it changed.
    void refresh();
    void setZoom(double zoom);
    // Opens the open document in the service's web editor.
    void editInWeb();

    // The page for a document inside the stored shell (or the built-in template).
    static PageContent makePage(const DocumentRecord &record, const std::optional<ShellRecord> &shell);

Q_SIGNALS:
    void currentFileIDChanged();
    void openDocumentChanged();
    void pageChanged();
    void sidebarSelectionChanged();
    void searchSelectionChanged();
    void zoomChanged();
    void canEditOnWebChanged();
    // A document was marked seen: the recent list and the unseen marks moved.
    void documentSeen();

private:
    struct DocumentAnswer;
    void show(int64_t fileID, DocumentAnswer answer);

    Workers &workers_;
    Preferences &preferences_;
    Connectivity &connectivity_;
    const Environment &environment_;
    std::shared_ptr<LocalStore> store_;

    std::optional<std::string> shellVersion_; // the shell of the page built last
    uint64_t opening_ = 0;                    // the newest open or close: older answers are dropped
    std::optional<int64_t> openingID_;

    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<int64_t>, currentFileID_, &Reader::currentFileIDChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<DocumentRecord>, openDocument_, &Reader::openDocumentChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<PageContent>, page_, &Reader::pageChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<QString>, sidebarSelection_, &Reader::sidebarSelectionChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<int64_t>, searchSelection_, &Reader::searchSelectionChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(Reader, double, zoom_, 1.0, &Reader::zoomChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, bool, canEditOnWeb_, &Reader::canEditOnWebChanged)
};

} // namespace quorvel::app
