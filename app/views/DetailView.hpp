#pragma once

#include <QStackedWidget>

namespace quorvel::app {

class AppModel;
class DocumentView;

// The right side of the library window: the open document, the empty library, or a hint.
class DetailView : public QStackedWidget {
    Q_OBJECT
public:
    explicit DetailView(AppModel &model, QWidget *parent = nullptr);
    // The viewer, once a document has been opened.
    DocumentView *document() const { return document_; }
    // Prints the document shown; nothing when none is.
    void print();

Q_SIGNALS:
    void documentCreated(DocumentView *document);

private:
    void refresh();
    DocumentView *ensureDocument();
    QWidget *hint();

    AppModel &model_;
    DocumentView *document_ = nullptr;
    QWidget *empty_;
    QWidget *hint_;
};

} // namespace quorvel::app
