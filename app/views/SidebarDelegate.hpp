#pragma once

#include <QStyledItemDelegate>

namespace quorvel::app {

// Draws the sidebar's rows: quiet section headings, and a dot on documents that changed since
// they were last read.
class SidebarDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace quorvel::app
