#include "views/DetailView.hpp"

#include "views/EmptyLibraryView.hpp"
#include "views/ScreenParts.hpp"

#include "document/DocumentView.hpp"
#include "model/AppModel.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPointer>

namespace quorvel::app {

DetailView::DetailView(AppModel &model, QWidget *parent) : QStackedWidget(parent), model_(model) {
    empty_ = new EmptyLibraryView(model_, this);
    hint_ = hint();
    addWidget(empty_);
    addWidget(hint_);
    for (auto signal : {&AppModel::pageChanged, &AppModel::fileCountChanged})
        connect(&model_, signal, this, &DetailView::refresh);
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
    document_ = new DocumentView(model_.store(), this);
    document_->setUrlOpener(model_.environment().openUrl);
    document_->setZoom(model_.zoom());
    document_->setAccessibleName(QStringLiteral("문서"));
    addWidget(document_);
    QPointer<DocumentView> viewer(document_);
    model_.setPrintHandler(QPointer<QObject>(document_), [viewer] {
        if (viewer && viewer->isVisible()) viewer->print();
    });
    connect(&model_, &AppModel::zoomChanged, document_, [this] { document_->setZoom(model_.zoom()); });
    Q_EMIT documentCreated(document_);
    return document_;
}

void DetailView::refresh() {
    // A page wins: it stays readable even while a sync empties the library under it.
    if (const auto &page = model_.page()) {
        DocumentView *document = ensureDocument();
        document->showPage(page->key, page->html);
        setCurrentWidget(document);
    } else if (model_.fileCount() == 0) {
        setCurrentWidget(empty_);
    } else {
        setCurrentWidget(hint_);
    }
}

} // namespace quorvel::app
