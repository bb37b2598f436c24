#pragma once

#include "store/FileSummary.hpp"
#include "store/TreeNode.hpp"

#include <QAbstractItemModel>
#include <QHash>
#include <QString>

#include <vector>

namespace quorvel::app {

// The sidebar's rows: the section "최근 본 문서" with the recent documents (when there are any) and
// the section "내 문서" with the folder tree. Rows are built from the model's arrays without
// recursion, however deep the service nests its folders, and looked up by their sidebar id
// ("r12", "f12", "d3").
class LibraryTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, KindRole, UnseenRole, FileIDRole };
    enum class Kind { section, folder, file, placeholder };

    explicit LibraryTreeModel(QObject *parent = nullptr);

    void setContents(const std::vector<FileSummary> &recent, const std::vector<TreeNode> &tree);

    QModelIndex indexOf(const QString &id) const;
    QModelIndex documentsSection() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Row {
        Kind kind;
        QString title;
        QString id;
        int64_t fileID = 0;
        bool unseen = false;
        int parent = -1;
        int position = 0; // among its parent's children
        std::vector<int> children;
    };
    int add(Row row);
    int rowOf(const QModelIndex &index) const;

    std::vector<Row> rows_;
    std::vector<int> top_;
    QHash<QString, int> byId_;
    int documents_ = -1;
};

} // namespace quorvel::app
