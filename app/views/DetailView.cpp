#include "views/DetailView.hpp"

#include "views/EmptyLibraryView.hpp"
#include "views/ReadingView.hpp"
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

DocumentView *DetailView::document() const {
    return reading_ ? reading_->document() : nullptr;
}

ReadingView *DetailView::ensureReading() {
    if (reading_) return reading_;
    // Made with the first page: the web engine's start is not paid for on a library nobody reads yet.
    reading_ = new ReadingView(model_, this);
    addWidget(reading_);
    Q_EMIT documentCreated(reading_->document());
    return reading_;
}

ReadingView *DetailView::shownReading() const {
    return reading_ && currentWidget() == reading_ && reading_->isVisible() ? reading_ : nullptr;
}

void DetailView::print() {
    if (ReadingView *reading = shownReading()) reading->document()->print();
}

void DetailView::openFindBar() {
    if (ReadingView *reading = shownReading()) reading->openFindBar();
}

void DetailView::findNext() {
    if (ReadingView *reading = shownReading()) reading->findNext();
}

void DetailView::findPrevious() {
    if (ReadingView *reading = shownReading()) reading->findPrevious();
}

void DetailView::focusOutline() {
    if (ReadingView *reading = shownReading()) reading->focusOutline();
}

void DetailView::refresh() {
    // A page wins: it stays readable even while a sync empties the library under it.
    if (const auto &page = model_.reader().page()) {
        ReadingView *reading = ensureReading();
        reading->showPage(*page);
        setCurrentWidget(reading);
    } else if (model_.library().fileCount() == 0) {
        setCurrentWidget(empty_);
    } else {
        setCurrentWidget(hint_);
    }
}

} // namespace quorvel::app
