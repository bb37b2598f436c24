#pragma once

#include <QWidget>

class QLineEdit;
class QStackedWidget;
class QToolButton;

namespace quorvel::app {

class AppModel;
class Search;
class SearchResultsView;
class TreeListView;

// The library window's left column: the account, the search field, the recent documents and the
// folder tree (or the search results), and the footer with the library's figures and sync status.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppModel &model, QWidget *parent = nullptr);

    QLineEdit *searchField() const { return field_; }
    TreeListView *tree() const { return tree_; }
    SearchResultsView *results() const { return results_; }
    // The list the keyboard works in now (the tree, or the results while searching).
    QWidget *currentList() const;

Q_SIGNALS:
    void settingsRequested();
    void logoutRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *accountRow();
    void refreshAccount();

    AppModel &model_;
    Search &search_;
    QToolButton *account_ = nullptr;
    QLineEdit *field_;
    QStackedWidget *lists_;
    TreeListView *tree_;
    SearchResultsView *results_;
};

} // namespace quorvel::app
