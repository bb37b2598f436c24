#pragma once

#include "model/PageContent.hpp"
#include "model/ReadingHistory.hpp"

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
class Library;
class Preferences;
class Workers;
struct Environment;
struct Services;

// The document being read: which one is open and the page the viewer shows for it, the row of the
// sidebar or of the search results it was opened from, the magnification, the way back and forward
// through the documents read, and the words marked in the page. Opening records the view in the
// store; after a sync the open page is rebuilt only when its content or the shell changed.
class Reader : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<int64_t> currentFileID READ currentFileID NOTIFY currentFileIDChanged)
    Q_PROPERTY(std::optional<quorvel::DocumentRecord> openDocument READ openDocument NOTIFY openDocumentChanged)
    Q_PROPERTY(std::optional<quorvel::app::PageContent> page READ page NOTIFY pageChanged)
    Q_PROPERTY(std::optional<QString> sidebarSelection READ sidebarSelection NOTIFY sidebarSelectionChanged)
    Q_PROPERTY(std::optional<int64_t> searchSelection READ searchSelection NOTIFY searchSelectionChanged)
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    Q_PROPERTY(bool canEditOnWeb READ canEditOnWeb NOTIFY canEditOnWebChanged)
    Q_PROPERTY(std::optional<quorvel::app::PageArrival> arrival READ arrival NOTIFY arrivalChanged)
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY canGoBackChanged)
    Q_PROPERTY(bool canGoForward READ canGoForward NOTIFY canGoForwardChanged)
    Q_PROPERTY(QString marks READ marks WRITE setMarks NOTIFY marksChanged)

public:
    Reader(Workers &workers, const Services &services, Preferences &preferences, Connectivity &connectivity,
           const Library &library, const Environment &environment, QObject *parent = nullptr);

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
    // Where the page just set should be taken once shown.
    const std::optional<PageArrival> &arrival() const { return arrival_.value(); }
    bool canGoBack() const { return canGoBack_; }
    bool canGoForward() const { return canGoForward_; }
    // The words marked in the page: the search's for a document opened from its results, or the
    // find bar's. Empty: nothing is marked.
    const QString &marks() const { return marks_.value(); }
    const ReadingHistory &history() const { return history_; }

    // Selects a sidebar row; a document's row ("f12", "r12") opens it, any other opens nothing.
    void select(const std::optional<QString> &row);
    // Selects a search result; a result opens its document with `marks` marked in it.
    void selectSearchResult(const std::optional<int64_t> &fileID, const QString &marks = {});
    // The search was cleared: no result stays selected and nothing stays marked.
    void clearSearchSelection();
    // Opens a document, unless it is the one open or being opened, with `marks` marked in it. The
    // tree shows it selected, and the history gains it.
    void open(int64_t fileID, const QString &marks = {});
    // A link in the page names document `fileID` (at `fragment`). A stored one opens; otherwise the
    // answer is false online (the link opens in the browser), and offline linkNotStored() tells why
    // nothing opens.
    bool followLink(int64_t fileID, const QString &fragment);
    void back();
    void forward();
    // Where the page shown is scrolled to, kept for the way back to it.
    void noteScroll(double y);
    // The library was erased: no way back to any of it.
    void forgetHistory();
    void setMarks(const QString &marks);
    // Nothing open, nothing selected.
    void close();
    // Reads the open document again (after a sync): closed when it is gone, a new page when it changed.
    void refresh();
    void setZoom(double zoom);
    // Opens the open document in the service's web editor.
    void editInWeb();

    // Why a link to a document this library does not hold opened nothing.
    static QString notStoredMessage();
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
    void arrivalChanged();
    void canGoBackChanged();
    void canGoForwardChanged();
    void marksChanged();
    // A document was marked seen: the recent list and the unseen marks moved.
    void documentSeen();
    // A link named a document this library does not hold, offline: nothing opened.
    void linkNotStored();

private:
    struct DocumentAnswer;
    struct Landing {
        std::optional<double> scrollY;
        QString fragment;
        bool visit = true; // the history gains the document
    };
    void openAt(int64_t fileID, Landing landing);
    void show(int64_t fileID, DocumentAnswer answer, const Landing &landing);
    void arrive(const Landing &landing);
    void goTo(std::optional<ReadingHistory::Place> place);
    void historyMoved();
    // Drops the deleted documents from the history.
    void pruneHistory();

    Workers &workers_;
    Preferences &preferences_;
    Connectivity &connectivity_;
    const Library &library_;
    const Environment &environment_;
    std::shared_ptr<LocalStore> store_;

    std::optional<std::string> shellVersion_; // the shell of the page built last
    uint64_t opening_ = 0;                    // the newest open or close: older answers are dropped
    std::optional<int64_t> openingID_;
    ReadingHistory history_;
    uint64_t arrivals_ = 0;

    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<int64_t>, currentFileID_, &Reader::currentFileIDChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<DocumentRecord>, openDocument_, &Reader::openDocumentChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<PageContent>, page_, &Reader::pageChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<QString>, sidebarSelection_, &Reader::sidebarSelectionChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<int64_t>, searchSelection_, &Reader::searchSelectionChanged)
    Q_OBJECT_BINDABLE_PROPERTY_WITH_ARGS(Reader, double, zoom_, 1.0, &Reader::zoomChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, bool, canEditOnWeb_, &Reader::canEditOnWebChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, std::optional<PageArrival>, arrival_, &Reader::arrivalChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, bool, canGoBack_, &Reader::canGoBackChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, bool, canGoForward_, &Reader::canGoForwardChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Reader, QString, marks_, &Reader::marksChanged)
};

} // namespace quorvel::app
