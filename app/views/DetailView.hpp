#pragma once

#include <QStackedWidget>

namespace quorvel::app {

class AppModel;
class DocumentView;
class ReadingView;

// The right side of the library window: the open document, the empty library, or a hint.
class DetailView : public QStackedWidget {
    Q_OBJECT
public:
    explicit DetailView(AppModel &model, QWidget *parent = nullptr);
    // The viewer, once a document has been opened.
    DocumentView *document() const;
    ReadingView *reading() const { return reading_; }
    // Prints the document shown; nothing when none is.
    void print();
    // The commands of the page shown (nothing when none is).
    void openFindBar();
    void findNext();
    void findPrevious();
    void focusOutline();

Q_SIGNALS:
    void documentCreated(DocumentView *document);

private:
    void refresh();
    ReadingView *ensureReading();
    // The reading view when it is the one shown.
    ReadingView *shownReading() const;
    QWidget *hint();

    AppModel &model_;
    ReadingView *reading_ = nullptr;
    QWidget *empty_;
    QWidget *hint_;
};

} // namespace quorvel::app
