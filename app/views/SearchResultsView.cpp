#include "views/SearchResultsView.hpp"

#include "model/Reader.hpp"
#include "model/Search.hpp"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QTextDocument>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

QString pathOf(const SearchResult &result) {
    QStringList names;
    for (const auto &name : result.folderPath)
        names << QString::fromStdString(name);
    return names.join(QStringLiteral(" / "));
}

// The three lines of a row as one rich-text document.
void layOut(QTextDocument &doc, const QStyleOptionViewItem &option, const QModelIndex &index) {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &p = option.palette;
    const QString text = selected ? p.color(QPalette::HighlightedText).name() : p.color(QPalette::Text).name();
    const QString quiet = selected ? text : p.color(QPalette::PlaceholderText).name();
    QString html = QStringLiteral("<div style='color:%1'><b>%2</b></div>")
                       .arg(text, index.data(Qt::DisplayRole).toString().toHtmlEscaped());
    const QString path = index.data(SearchResultsModel::PathRole).toString();
    if (!path.isEmpty()) html += QStringLiteral("<div style='color:%1'>%2</div>").arg(quiet, path.toHtmlEscaped());
    html += QStringLiteral("<div style='color:%1'>%2</div>")
                .arg(text, index.data(SearchResultsModel::SnippetHtmlRole).toString());
    doc.setDefaultFont(option.font);
    doc.setDocumentMargin(6);
    doc.setTextWidth(std::max(120, option.rect.width()));
    doc.setHtml(html);
}

} // namespace

void SearchResultsModel::setResults(std::vector<SearchResult> results) {
    beginResetModel();
    results_ = std::move(results);
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(results_.size());
}

QString SearchResultsModel::snippetHtml(const std::vector<SnippetSegment> &snippet) {
    QString html;
    for (const auto &segment : snippet) {
        const QString text = QString::fromStdString(segment.text).toHtmlEscaped();
        html += segment.highlighted
                    ? QStringLiteral("<b style='background-color:rgba(255,200,0,0.45)'>%1</b>").arg(text)
                    : text;
    }
    return html;
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= int(results_.size())) return {};
    const SearchResult &r = results_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(r.title);
    case Qt::AccessibleTextRole: {
        QString snippet;
        for (const auto &s : r.snippet)
            snippet += QString::fromStdString(s.text);
        return QString::fromStdString(r.title) + QStringLiteral(", ") + pathOf(r) + QStringLiteral(", ") + snippet;
    }
    case FileIDRole:
        return qlonglong(r.fileId);
    case PathRole:
        return pathOf(r);
    case SnippetHtmlRole:
        return snippetHtml(r.snippet);
    default:
        return {};
    }
}

QModelIndex SearchResultsModel::indexOf(int64_t fileID) const {
    for (size_t i = 0; i < results_.size(); ++i)
        if (results_[i].fileId == fileID) return index(int(i));
    return {};
}

void SearchResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    QTextDocument doc;
    layOut(doc, option, index);
    painter->save();
    painter->translate(option.rect.topLeft());
    doc.drawContents(painter, QRect(QPoint(0, 0), option.rect.size()));
    painter->restore();
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
    QTextDocument doc;
    layOut(doc, option, index);
    return QSize(int(doc.idealWidth()), int(doc.size().height()) + 2);
}

SearchResultsView::SearchResultsView(Search &search, Reader &reader, QWidget *parent)
    : QWidget(parent), search_(search), reader_(reader), results_(new SearchResultsModel(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("searchResults"));
    list_->setModel(results_);
    list_->setItemDelegate(new SearchResultDelegate(list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setWordWrap(true);
    list_->setResizeMode(QListView::Adjust);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setAccessibleName(QStringLiteral("검색 결과"));
    layout->addWidget(list_);
    empty_ = new QLabel(this);
    empty_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    empty_->setWordWrap(true);
    empty_->setMargin(16);
    empty_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(empty_);

    connect(&search_, &Search::resultsChanged, this, &SearchResultsView::reload);
    connect(&search_, &Search::searchedQueryChanged, this, &SearchResultsView::reload);
    connect(&reader_, &Reader::searchSelectionChanged, this, &SearchResultsView::showSelection);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!restoring_ && current.isValid())
            reader_.selectSearchResult(current.data(SearchResultsModel::FileIDRole).toLongLong(),
                                       search_.searchedQuery());
    });
    // Enter on a row opens it even when it is the selected one already.
    connect(list_, &QListView::activated, this, [this](const QModelIndex &index) {
        reader_.open(index.data(SearchResultsModel::FileIDRole).toLongLong(), search_.searchedQuery());
    });
    reload();
}

void SearchResultsView::reload() {
    restoring_ = true;
    results_->setResults(search_.results());
    restoring_ = false;
    const bool nothing = search_.results().empty() && !search_.searchedQuery().isEmpty();
    empty_->setText(QStringLiteral("‘") + search_.searchedQuery() + QStringLiteral("’에 맞는 문서가 없어요"));
    empty_->setVisible(nothing);
    list_->setVisible(!nothing);
    showSelection();
}

void SearchResultsView::showSelection() {
    restoring_ = true;
    const auto &selected = reader_.searchSelection();
    const QModelIndex index = selected ? results_->indexOf(*selected) : QModelIndex();
    if (index.isValid())
        list_->setCurrentIndex(index);
    else
        list_->clearSelection();
    restoring_ = false;
}

} // namespace quorvel::app
