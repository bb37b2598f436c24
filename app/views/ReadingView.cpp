#include "views/ReadingView.hpp"

#include "views/FindBar.hpp"

#include "document/DocumentView.hpp"
#include "document/PageFinder.hpp"
#include "model/AppModel.hpp"
#include "model/Reader.hpp"

#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QShortcut>
#include <QWebEngineView>

namespace quorvel::app {

namespace {

constexpr int anchorRole = Qt::UserRole + 1;

} // namespace

ReadingView::ReadingView(AppModel &model, QWidget *parent) : QWidget(parent), reader_(model.reader()) {
    setObjectName(QStringLiteral("reading"));
    document_ = new DocumentView(model.services().store, this);
    document_->setObjectName(QStringLiteral("document"));
    document_->setUrlOpener(model.environment().openUrl);
    document_->setZoom(reader_.zoom());
    document_->setAccessibleName(QStringLiteral("문서"));
    document_->setLibraryLinks(model.environment().baseURL, [this](int64_t id, const QString &fragment) {
        return reader_.followLink(id, fragment);
    });
    findBar_ = new FindBar(this);
    findBar_->hide();

    outlinePane_ = new QWidget(this);
    outlinePane_->setObjectName(QStringLiteral("outlinePane"));
    auto *pane = new QVBoxLayout(outlinePane_);
    pane->setContentsMargins(8, 8, 0, 0);
    auto *heading = new QLabel(QStringLiteral("목차"), outlinePane_);
    heading->setForegroundRole(QPalette::PlaceholderText);
    outline_ = new QListWidget(outlinePane_);
    outline_->setObjectName(QStringLiteral("outline"));
    outline_->setAccessibleName(QStringLiteral("목차"));
    outline_->setFrameShape(QFrame::NoFrame);
    outline_->setWordWrap(true);
    outline_->setTextElideMode(Qt::ElideRight);
    heading->setBuddy(outline_);
    pane->addWidget(heading);
    pane->addWidget(outline_, 1);
    outlinePane_->setFixedWidth(220);
    outlinePane_->hide();

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(findBar_);
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(document_, 1);
    row->addWidget(outlinePane_);
    column->addLayout(row, 1);
    setTabOrder(document_->webView(), outline_);

    connect(&reader_, &Reader::zoomChanged, document_, [this] { document_->setZoom(reader_.zoom()); });
    connect(&reader_, &Reader::arrivalChanged, this, &ReadingView::applyArrival);
    connect(&reader_, &Reader::marksChanged, this, &ReadingView::applyMarks);
    connect(document_, &DocumentView::pageLoaded, this, &ReadingView::pageLoaded);
    connect(document_, &DocumentView::scrolled, this, [this](double y) {
        if (isSettled()) reader_.noteScroll(y);
    });
    connect(document_->finder(), &PageFinder::found, findBar_, &FindBar::showCount);
    connect(findBar_, &FindBar::wordsEdited, &reader_, &Reader::setMarks);
    connect(findBar_, &FindBar::nextRequested, this, &ReadingView::findNext);
    connect(findBar_, &FindBar::previousRequested, this, &ReadingView::findPrevious);
    connect(findBar_, &FindBar::closeRequested, this, &ReadingView::clearMarks);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &ReadingView::clearMarks);
    auto choose = [this](QListWidgetItem *item) {
        if (item) document_->scrollToAnchor(item->data(anchorRole).toString());
    };
    connect(outline_, &QListWidget::itemClicked, this, choose);
    connect(outline_, &QListWidget::itemActivated, this, choose);
}

void ReadingView::showPage(const PageContent &page) {
    if (document_->shownKey() != page.key) fillOutline(page);
    document_->showPage(page.key, page.html);
}

void ReadingView::fillOutline(const PageContent &page) {
    outline_->clear();
    for (const HTMLHeading &heading : page.outline) {
        // Each level a step further in; the top level in bold.
        auto *item = new QListWidgetItem(
            QString(2 * (heading.level - 1), QLatin1Char(' ')) + QString::fromStdString(heading.text), outline_);
        item->setData(anchorRole, QString::fromStdString(heading.anchor));
        item->setData(Qt::AccessibleDescriptionRole, QStringLiteral("제목 %1단계").arg(heading.level));
        QFont font = outline_->font();
        font.setBold(heading.level == 1);
        item->setFont(font);
    }
    // One heading is no map of the page.
    outlinePane_->setVisible(page.outline.size() >= 2);
}

bool ReadingView::isSettled() const {
    return reader_.page() && QString::fromStdString(reader_.page()->key) == loadedKey_;
}

void ReadingView::pageLoaded(const QString &key) {
    loadedKey_ = key;
    if (!isSettled()) return;
    applyArrival();
    applyMarks();
}

void ReadingView::applyArrival() {
    const auto &arrival = reader_.arrival();
    if (!arrival || arrival->serial == arrived_ || !isSettled() || arrival->key != reader_.page()->key) return;
    arrived_ = arrival->serial;
    if (arrival->scrollY)
        document_->scrollTo(*arrival->scrollY);
    else if (!arrival->fragment.isEmpty())
        document_->scrollToAnchor(arrival->fragment);
}

void ReadingView::applyMarks() {
    const QString &marks = reader_.marks();
    findBar_->setWords(marks);
    if (marks.isEmpty()) {
        document_->finder()->clear();
        if (!findBar_->field()->hasFocus()) findBar_->hide();
        return;
    }
    findBar_->show();
    if (isSettled()) document_->finder()->mark(marks);
}

void ReadingView::openFindBar() {
    findBar_->show();
    findBar_->field()->setFocus(Qt::ShortcutFocusReason);
    findBar_->field()->selectAll();
}

void ReadingView::findNext() {
    if (document_->finder()->term().isEmpty())
        applyMarks();
    else
        document_->finder()->next();
}

void ReadingView::findPrevious() {
    if (document_->finder()->term().isEmpty())
        applyMarks();
    else
        document_->finder()->previous();
}

void ReadingView::clearMarks() {
    const bool inBar = findBar_->isAncestorOf(QApplication::focusWidget());
    findBar_->hide();
    reader_.setMarks({});
    if (inBar) document_->webView()->setFocus(Qt::OtherFocusReason);
}

void ReadingView::focusOutline() {
    if (outlinePane_->isVisible()) {
        outline_->setFocus(Qt::ShortcutFocusReason);
        if (!outline_->currentItem() && outline_->count()) outline_->setCurrentRow(0);
    }
}

} // namespace quorvel::app
