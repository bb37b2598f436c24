#include "views/InitialSyncView.hpp"

#include "views/ScreenParts.hpp"

#include "model/Stage.hpp"
#include "model/SyncController.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace quorvel::app {

namespace {
constexpr int barSteps = 1000;
}

QString InitialSyncView::detail(const std::optional<SyncProgress> &progress) {
    if (!progress) return QStringLiteral("준비하는 중…");
    using P = SyncProgress::Phase;
    switch (progress->phase) {
    case P::starting:
    case P::manifest:
        return QStringLiteral("문서 목록을 확인하는 중…");
    case P::shell:
        return QStringLiteral("문서 모양을 내려받는 중…");
    case P::documents:
    case P::images:
        return QStringLiteral("문서 %1/%2 · 이미지 %3/%4")
            .arg(progress->documentsDone)
            .arg(progress->documentsTotal)
            .arg(progress->imagesDone)
            .arg(progress->imagesTotal);
    case P::applying:
    case P::done:
        return QStringLiteral("저장하는 중…");
    }
    return QString();
}

std::optional<double> InitialSyncView::fraction(const std::optional<SyncProgress> &progress) {
    if (!progress) return std::nullopt;
    const int64_t total = progress->documentsTotal + progress->imagesTotal;
    const int64_t done = progress->documentsDone + progress->imagesDone;
    if (total < 1) return progress->phase == SyncProgress::Phase::done ? std::optional<double>(1.0) : std::nullopt;
    return std::min(1.0, double(done) / double(total));
}

InitialSyncView::InitialSyncView(Stage &stage, SyncController &sync, QWidget *parent)
    : QWidget(parent), stage_(stage), sync_(sync) {
    using namespace ScreenParts;
    QBoxLayout *column = centredColumn(this, 480);
    column->addWidget(title(QStringLiteral("내 문서를 이 컴퓨터로 가져오고 있어요"), this, 1.3));
    rebuilding_ = text(SyncBadge::rebuildingMessage(), this);
    rebuilding_->setStyleSheet(QStringLiteral("color: #ef8a00;"));
    column->addWidget(rebuilding_);

    working_ = new QWidget(this);
    auto *workingLayout = new QVBoxLayout(working_);
    workingLayout->setContentsMargins(0, 0, 0, 0);
    bar_ = new QProgressBar(working_);
    bar_->setTextVisible(false);
    bar_->setMaximumHeight(8);
    bar_->setAccessibleName(QStringLiteral("내려받기 진행"));
    workingLayout->addWidget(bar_);
    detail_ = secondary(QString(), working_);
    detail_->setAccessibleName(QStringLiteral("진행 상황"));
    workingLayout->addWidget(detail_);
    column->addWidget(working_);

    failed_ = new QWidget(this);
    auto *failedLayout = new QVBoxLayout(failed_);
    failedLayout->setContentsMargins(0, 0, 0, 0);
    error_ = text(QString(), failed_);
    error_->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    failedLayout->addWidget(error_);
    auto *failedButtons = new QHBoxLayout;
    failedButtons->addStretch(1);
    auto *retry = button(QStringLiteral("다시 시도"), failed_, true);
    auto *later = button(QStringLiteral("나중에"), failed_);
    failedButtons->addWidget(later);
    failedButtons->addWidget(retry);
    failedButtons->addStretch(1);
    failedLayout->addLayout(failedButtons);
    column->addWidget(failed_);

    auto *note = secondary(
        QStringLiteral("받은 문서는 모두 반영된 뒤에만 저장돼서, 중간에 멈춰도 반쯤 저장되는 일은 없어요."), this);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    note->setFont(small);
    column->addWidget(note);
    cancel_ = button(QStringLiteral("취소"), this);
    column->addWidget(cancel_, 0, Qt::AlignHCenter);
    column->addStretch(1);

    connect(cancel_, &QPushButton::clicked, &sync_, &SyncController::cancelInitialSync);
    connect(retry, &QPushButton::clicked, &sync_, &SyncController::runInitialSync);
    // Later: leave the first download for now; the library window offers the sync.
    connect(later, &QPushButton::clicked, &sync_, &SyncController::cancelInitialSync);
    connect(&stage_, &Stage::phaseChanged, this, &InitialSyncView::refresh);
    connect(&sync_, &SyncController::initialSyncErrorChanged, this, &InitialSyncView::refresh);
    refresh();
}

void InitialSyncView::refresh() {
    const auto &progress = stage_.phase().progress;
    detail_->setText(detail(progress));
    if (auto f = fraction(progress)) {
        bar_->setRange(0, barSteps);
        bar_->setValue(int(*f * barSteps));
    } else {
        bar_->setRange(0, 0);
    }
    rebuilding_->setVisible(progress && progress->rebuildingStore);
    const bool failed = sync_.initialSyncError().has_value();
    error_->setText(sync_.initialSyncError().value_or(QString()));
    failed_->setVisible(failed);
    working_->setVisible(!failed);
    cancel_->setVisible(!failed);
}

} // namespace quorvel::app
