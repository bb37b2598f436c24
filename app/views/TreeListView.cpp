#include "views/TreeListView.hpp"

#include "views/Icons.hpp"
#include "views/LibraryTreeModel.hpp"
#include "views/SidebarDelegate.hpp"

#include "model/Library.hpp"
#include "model/Reader.hpp"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>

namespace quorvel::app {

TreeListView::TreeListView(Library &library, Reader &reader, QWidget *parent)
    : QTreeView(parent), library_(library), reader_(reader), rows_(new LibraryTreeModel(this)) {
    setObjectName(QStringLiteral("libraryTree"));
    setModel(rows_);
    setItemDelegate(new SidebarDelegate(this));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(QStringLiteral("내 문서"));
    setIndentation(14);

    connect(&library_, &Library::treeChanged, this, &TreeListView::reload);
    connect(&library_, &Library::recentChanged, this, &TreeListView::reload);
    connect(&reader_, &Reader::sidebarSelectionChanged, this, &TreeListView::showSelection);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &i) { noteExpansion(i, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &i) { noteExpansion(i, false); });
    connect(this, &QTreeView::activated, this, [this](const QModelIndex &index) {
        if (index.data(LibraryTreeModel::KindRole).toInt() == int(LibraryTreeModel::Kind::folder))
            setExpanded(index, !isExpanded(index));
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (restoring_ || !current.isValid()) return;
        const QString id = current.data(LibraryTreeModel::IdRole).toString();
        if (!id.isEmpty()) reader_.select(id);
    });
    reload();
}

void TreeListView::reload() {
    restoring_ = true;
    const int scroll = verticalScrollBar()->value();
    rows_->setContents(library_.recent(), library_.tree());
    for (int i = 0; i < rows_->rowCount(); ++i)
        expand(rows_->index(i, 0));
    for (const auto &id : library_.expandedFolders())
        if (QModelIndex folder = rows_->indexOf(QString::fromStdString(id)); folder.isValid()) expand(folder);
    setIndexWidget(rows_->documentsSection(), documentsHeading());
    restoring_ = false;
    showSelection();
    verticalScrollBar()->setValue(scroll);
}

QWidget *TreeListView::documentsHeading() {
    auto *heading = new QWidget;
    // It sits over the row of the same name.
    heading->setAutoFillBackground(true);
    heading->setBackgroundRole(QPalette::Base);
    auto *layout = new QHBoxLayout(heading);
    layout->setContentsMargins(4, 0, 2, 0);
    auto *label = new QLabel(QStringLiteral("내 문서"), heading);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(label);
    layout->addStretch(1);

    auto *sort = new QToolButton(heading);
    sort->setIcon(Icons::icon(Icons::Symbol::sort));
    sort->setToolTip(QStringLiteral("정렬"));
    sort->setAccessibleName(QStringLiteral("정렬"));
    sort->setAutoRaise(true);
    sort->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(QStringLiteral("정렬"), sort);
    auto *group = new QActionGroup(menu);
    for (auto [title, order] : {std::pair{QStringLiteral("이름"), TreeSort::name},
                                std::pair{QStringLiteral("최근 수정"), TreeSort::updatedDescending}}) {
        QAction *action = menu->addAction(title);
        action->setCheckable(true);
        action->setChecked(library_.treeSort() == order);
        group->addAction(action);
        connect(action, &QAction::triggered, &library_, [this, order] { library_.setTreeSort(order); });
    }
    sort->setMenu(menu);
    layout->addWidget(sort);
    return heading;
}

void TreeListView::showSelection() {
    const auto &id = reader_.sidebarSelection();
    const QModelIndex index = id ? rows_->indexOf(*id) : QModelIndex();
    if (index == currentIndex() && (index.isValid() || !selectionModel()->hasSelection())) return;
    restoring_ = true;
    if (index.isValid()) {
        setCurrentIndex(index);
        scrollTo(index);
    } else {
        clearSelection();
    }
    restoring_ = false;
}

void TreeListView::noteExpansion(const QModelIndex &index, bool expanded) {
    if (restoring_ || index.data(LibraryTreeModel::KindRole).toInt() != int(LibraryTreeModel::Kind::folder)) return;
    auto folders = library_.expandedFolders();
    const std::string id = index.data(LibraryTreeModel::IdRole).toString().toStdString();
    if (expanded)
        folders.insert(id);
    else
        folders.erase(id);
    library_.setExpandedFolders(std::move(folders));
}

} // namespace quorvel::app
