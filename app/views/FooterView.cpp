#include "views/FooterView.hpp"

#include "views/Format.hpp"
#include "views/StatusBadgeView.hpp"

#include "model/AppModel.hpp"

#include <QLabel>
#include <QVBoxLayout>

namespace quorvel::app {

FooterView::FooterView(AppModel &model, QWidget *parent) : QWidget(parent), model_(model) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(2);
    figures_ = new QLabel(this);
    changed_ = new QLabel(this);
    for (QLabel *label : {figures_, changed_}) {
        label->setForegroundRole(QPalette::PlaceholderText);
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        label->setFont(small);
        layout->addWidget(label);
    }
    // The badge is one short line; what it means when the library is being rebuilt needs more room.
    rebuilding_ = new QLabel(SyncBadge::rebuildingMessage(), this);
    rebuilding_->setWordWrap(true);
    rebuilding_->setStyleSheet(QStringLiteral("color: #ef8a00;"));
    layout->addWidget(rebuilding_);
    badge_ = new StatusBadgeView(model_, this);
    layout->addWidget(badge_, 0, Qt::AlignLeft);
    for (auto signal : {&AppModel::fileCountChanged, &AppModel::storageBytesChanged, &AppModel::latestUpdatedChanged,
                        &AppModel::badgeChanged})
        connect(&model_, signal, this, &FooterView::refresh);
    refresh();
}

void FooterView::refresh() {
    figures_->setText(
        QStringLiteral("문서 %1개 · %2 보관 중").arg(model_.fileCount()).arg(Format::bytes(model_.storageBytes())));
    const auto &latest = model_.latestUpdated();
    changed_->setText(latest ? QStringLiteral("마지막 수정 ") + Format::dateTime(*latest) : QString());
    changed_->setVisible(latest.has_value());
    rebuilding_->setVisible(model_.badge().kind == SyncBadge::Kind::rebuilding);
}

} // namespace quorvel::app
