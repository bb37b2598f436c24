#include "views/LibraryTreeModel.hpp"

#include "views/Icons.hpp"

#include <QFont>
#include <QIcon>

namespace quorvel::app {

LibraryTreeModel::LibraryTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

int LibraryTreeModel::add(Row row) {
    const int at = int(rows_.size());
    if (row.parent >= 0) {
        row.position = int(rows_[row.parent].children.size());
        rows_[row.parent].children.push_back(at);
    } else {
        row.position = int(top_.size());
        top_.push_back(at);
    }
    if (!row.id.isEmpty()) byId_.insert(row.id, at);
    rows_.push_back(std::move(row));
    return at;
}

void LibraryTreeModel::setContents(const std::vector<FileSummary> &recent, const std::vector<TreeNode> &tree) {
    beginResetModel();
    rows_.clear();
    top_.clear();
    byId_.clear();
    if (!recent.empty()) {
        const int section = add({Kind::section, QStringLiteral("최근 본 문서"), {}, 0, false, -1, 0, {}});
        for (const auto &file : recent)
            add({Kind::file,
                 QString::fromStdString(file.filename),
                 QStringLiteral("r%1").arg(file.id),
                 file.id,
                 file.hasUnseenChange,
                 section,
                 0,
                 {}});
    }
    documents_ = add({Kind::section, QStringLiteral("내 문서"), {}, 0, false, -1, 0, {}});
    if (tree.empty()) add({Kind::placeholder, QStringLiteral("문서가 없어요"), {}, 0, false, documents_, 0, {}});

    // Depth first, in order, with an explicit stack: the service decides how deep folders nest.
    struct Pending {
        const TreeNode *node;
        int parent;
    };
    std::vector<Pending> stack;
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        stack.push_back({&*it, documents_});
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        const TreeNode &node = *next.node;
        Row row{node.isFolder() ? Kind::folder : Kind::file,
                QString::fromStdString(node.title()),
                QString::fromStdString(node.id),
                0,
                false,
                next.parent,
                0,
                {}};
        if (auto file = node.file()) {
            row.fileID = file->id;
            row.unseen = file->hasUnseenChange;
        }
        const int at = add(std::move(row));
        if (node.children)
            for (auto it = node.children->rbegin(); it != node.children->rend(); ++it)
                stack.push_back({&*it, at});
    }
    endResetModel();
}

int LibraryTreeModel::rowOf(const QModelIndex &index) const {
    return index.isValid() ? int(index.internalId()) : -1;
}

QModelIndex LibraryTreeModel::indexOf(const QString &id) const {
    auto it = byId_.find(id);
    if (it == byId_.end()) return {};
    return createIndex(rows_[*it].position, 0, quintptr(*it));
}

QModelIndex LibraryTreeModel::documentsSection() const {
    return documents_ >= 0 ? createIndex(rows_[documents_].position, 0, quintptr(documents_)) : QModelIndex();
}

QModelIndex LibraryTreeModel::index(int row, int column, const QModelIndex &parent) const {
    if (column != 0 || row < 0) return {};
    const std::vector<int> &siblings = parent.isValid() ? rows_[rowOf(parent)].children : top_;
    if (row >= int(siblings.size())) return {};
    return createIndex(row, 0, quintptr(siblings[row]));
}

QModelIndex LibraryTreeModel::parent(const QModelIndex &child) const {
    if (!child.isValid()) return {};
    const int p = rows_[rowOf(child)].parent;
    if (p < 0) return {};
    return createIndex(rows_[p].position, 0, quintptr(p));
}

int LibraryTreeModel::rowCount(const QModelIndex &parent) const {
    if (parent.column() > 0) return 0;
    return int(parent.isValid() ? rows_[rowOf(parent)].children.size() : top_.size());
}

int LibraryTreeModel::columnCount(const QModelIndex &) const {
    return 1;
}

QVariant LibraryTreeModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) return {};
    const Row &row = rows_[rowOf(index)];
    switch (role) {
    case Qt::DisplayRole:
        return row.title;
    case Qt::AccessibleTextRole:
        return row.unseen ? row.title + QStringLiteral(", 마지막으로 본 뒤 바뀌었어요") : row.title;
    case Qt::DecorationRole:
        if (row.kind == Kind::folder) return Icons::icon(Icons::Symbol::folder);
        if (row.kind == Kind::file) return Icons::icon(Icons::Symbol::document);
        return {};
    case Qt::ToolTipRole:
        return row.unseen ? QVariant(QStringLiteral("마지막으로 본 뒤 바뀌었어요")) : QVariant();
    case Qt::FontRole:
        if (row.kind == Kind::section) {
            QFont font;
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * 0.9);
            return font;
        }
        return {};
    case IdRole:
        return row.id;
    case KindRole:
        return int(row.kind);
    case UnseenRole:
        return row.unseen;
    case FileIDRole:
        return qlonglong(row.fileID);
    default:
        return {};
    }
}

Qt::ItemFlags LibraryTreeModel::flags(const QModelIndex &index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Kind kind = rows_[rowOf(index)].kind;
    if (kind == Kind::section || kind == Kind::placeholder) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace quorvel::app
