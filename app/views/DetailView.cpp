#include "views/DetailView.hpp"

#include "views/EmptyLibraryView.hpp"
#include "views/ScreenParts.hpp"

#include "document/DocumentView.hpp"
#include "model/AppModel.hpp"
#include "model/Library.hpp"
#include "model/Reader.hpp"

#include <QBoxLayout>
#include <QLabel>

namespace quorvel::app {

DetailView::DetailView(AppModel &model, QWidget *parent) : QStackedWidget(parent), model_(model) {
    empty_ = new EmptyLibraryView(model_.sync(), model_.connectivity(), model_.environment(), this);
    hint_ = hint();
    addWidget(empty_);
    addWidget(hint_);
    connect(&model_.reader(), &Reader::pageChanged, this, &DetailView::refresh);
    connect(&model_.library(), &Library::fileCountChanged, this, &DetailView::refresh);
    refresh();
}

QWidget *DetailView::hint() {
    auto *host = new QWidget(this);
    QBoxLayout *column = ScreenParts::centredColumn(host, 360);
    column->addWidget(ScreenParts::symbol(Icons::Symbol::document, host));
    column->addWidget(ScreenParts::secondary(QStringLiteral("왼쪽에서 문서를 골라 주세요"), host));
    column->addStretch(1);
    return host;
}

DocumentView *DetailView::ensureDocument() {
    if (document_) return document_;
    // Made with the first page: the web engine's start is not paid for on a library nobody reads yet.
    Reader &reader = model_.reader();
    document_ = new DocumentView(model_.services().store, this);
    document_->setObjectName(QStringLiteral("document"));
    document_->setUrlOpener(model_.environment().openUrl);
    document_->setZoom(reader.zoom());
    document_->setAccessibleName(QStringLiteral("문서"));
    addWidget(document_);
    connect(&reader, &Reader::zoomChanged, document_, [this, &reader] { document_->setZoom(reader.zoom()); });
    Q_EMIT documentCreated(document_);
    return document_;
}

void DetailView::print() {
    if (document_ && document_->isVisible()) document_->print();
}

void DetailView::refresh() {
    // A page wins: it stays readable even while a sync empties the library under it.
    if (const auto &page = model_.reader().page()) {
        DocumentView *document = ensureDocument();
        document->showPage(page->key, page->html);
        setCurrentWidget(document);
    } else if (model_.library().fileCount() == 0) {
        setCurrentWidget(empty_);
    } else {
        setCurrentWidget(hint_);
    }
}

} // namespace quorvel::app
