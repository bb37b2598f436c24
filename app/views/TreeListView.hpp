#pragma once

#include <QTreeView>

namespace quorvel::app {

class Library;
class LibraryTreeModel;
class Reader;

// The recent documents and the folder tree. Selecting a document opens it; folders remember
// whether they are open across launches.
class TreeListView : public QTreeView {
    Q_OBJECT
public:
    TreeListView(Library &library, Reader &reader, QWidget *parent = nullptr);
    LibraryTreeModel *libraryModel() const { return rows_; }

private:
    void reload();
    void showSelection();
    void noteExpansion(const QModelIndex &index, bool expanded);
    QWidget *documentsHeading();

    Library &library_;
    Reader &reader_;
    LibraryTreeModel *rows_;
    bool restoring_ = false;
};

} // namespace quorvel::app
