#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class QLabel;
class QListWidget;

namespace quorvel::app {

class AppModel;
class DocumentView;
class FindBar;
class Reader;
struct PageContent;

// The open document: the page, the find bar over it and the outline of its headings beside it.
// Takes the page where the reader asks once it has loaded (back to where it was left, or to the
// place a link named) and marks the reader's words in it.
class ReadingView : public QWidget {
    Q_OBJECT
public:
    explicit ReadingView(AppModel &model, QWidget *parent = nullptr);

    DocumentView *document() const { return document_; }
    FindBar *findBar() const { return findBar_; }
    QListWidget *outline() const { return outline_; }

    void showPage(const PageContent &page);
    // Opens the find bar with the keyboard in it.
    void openFindBar();
    void findNext();
    void findPrevious();
    // Clears the marks and closes the find bar; the keyboard goes back to the page.
    void clearMarks();
    void focusOutline();
    // The viewer has loaded the reader's page.
    bool isSettled() const;

private:
    void pageLoaded(const QString &key);
    void applyArrival();
    void applyMarks();
    void fillOutline(const PageContent &page);

    Reader &reader_;
    DocumentView *document_;
    FindBar *findBar_;
    QWidget *outlinePane_;
    QListWidget *outline_;
    QString loadedKey_;    // the page the viewer finished loading last
    uint64_t arrived_ = 0; // the arrival taken last
};

} // namespace quorvel::app
