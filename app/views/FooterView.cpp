#include "views/FooterView.hpp"

#include "views/Format.hpp"
#include "views/StatusBadgeView.hpp"

#include "model/Library.hpp"
#include "model/SyncController.hpp"

#include <QLabel>
#include <QVBoxLayout>

namespace quorvel::app {

FooterView::FooterView(Library &library, SyncController &sync, Account &account, QWidget *parent)
    : QWidget(parent), library_(library), sync_(sync) {
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
    badge_ = new StatusBadgeView(sync_, account, this);
    layout->addWidget(badge_, 0, Qt::AlignLeft);
    for (auto changed : {&Library::fileCountChanged, &Library::storageBytesChanged, &Library::latestUpdatedChanged})
        connect(&library_, changed, this, &FooterView::refresh);
    connect(&sync_, &SyncController::badgeChanged, this, &FooterView::refresh);
    refresh();
}

void FooterView::refresh() {
    figures_->setText(
        QStringLiteral("문서 %1개 · %2 보관 중").arg(library_.fileCount()).arg(Format::bytes(library_.storageBytes())));
    const auto &latest = library_.latestUpdated();
    changed_->setText(latest ? QStringLiteral("마지막 수정 ") + Format::dateTime(*latest) : QString());
    changed_->setVisible(latest.has_value());
    rebuilding_->setVisible(sync_.badge().kind == SyncBadge::Kind::rebuilding);
}

} // namespace quorvel::app
