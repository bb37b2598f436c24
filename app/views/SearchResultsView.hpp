#pragma once

#include "store/SearchResult.hpp"

#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <QWidget>

#include <vector>

class QLabel;
class QListView;

namespace quorvel::app {

class Reader;
class Search;

// The search results as list rows.
class SearchResultsModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { FileIDRole = Qt::UserRole + 1, PathRole, SnippetHtmlRole };
    using QAbstractListModel::QAbstractListModel;
    void setResults(std::vector<SearchResult> results);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QModelIndex indexOf(int64_t fileID) const;

    // The snippet as rich text, its hits in bold on a highlight.
    static QString snippetHtml(const std::vector<SnippetSegment> &snippet);

private:
    std::vector<SearchResult> results_;
};

// Title, folder path and snippet of each result, in three lines.
class SearchResultDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class SearchResultsView : public QWidget {
    Q_OBJECT
public:
    SearchResultsView(Search &search, Reader &reader, QWidget *parent = nullptr);
    QListView *list() const { return list_; }

private:
    void reload();
    void showSelection();

    Search &search_;
    Reader &reader_;
    SearchResultsModel *results_;
    QListView *list_;
    QLabel *empty_;
    bool restoring_ = false;
};

} // namespace quorvel::app
