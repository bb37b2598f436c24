#include "views/SidebarDelegate.hpp"

#include "views/LibraryTreeModel.hpp"

#include <QPainter>

namespace quorvel::app {

void SidebarDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const {
    const auto kind = LibraryTreeModel::Kind(index.data(LibraryTreeModel::KindRole).toInt());
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (kind == LibraryTreeModel::Kind::section || kind == LibraryTreeModel::Kind::placeholder) {
        opt.palette.setColor(QPalette::Text, option.palette.color(QPalette::PlaceholderText));
        opt.state &= ~QStyle::State_MouseOver;
    }
    QStyledItemDelegate::paint(painter, opt, index);
    if (!index.data(LibraryTreeModel::UnseenRole).toBool()) return;
    const int d = 7;
    const QRect r = option.rect;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(option.state & QStyle::State_Selected ? option.palette.color(QPalette::HighlightedText)
                                                            : QColor(0x1e, 0x7b, 0xe0));
    painter->drawEllipse(QRect(r.right() - d - 8, r.center().y() - d / 2, d, d));
    painter->restore();
}

} // namespace quorvel::app
