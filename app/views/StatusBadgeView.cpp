#include "views/StatusBadgeView.hpp"

#include "views/Format.hpp"
#include "views/Icons.hpp"

#include "model/Account.hpp"
#include "model/SyncController.hpp"

#include <QDateTime>

namespace quorvel::app {

namespace {
const QColor green(0x2e, 0x9e, 0x44), blue(0x1e, 0x7b, 0xe0), orange(0xef, 0x8a, 0x00), red(0xd3, 0x2f, 0x2f);
double nowSeconds() {
    return QDateTime::currentMSecsSinceEpoch() / 1000.0;
}
} // namespace

StatusBadgeView::Look StatusBadgeView::look(const SyncBadge &badge, double now) {
    using K = SyncBadge::Kind;
    using S = Icons::Symbol;
    switch (badge.kind) {
    case K::upToDate:
        return {int(S::upToDate), green,
                badge.date ? QStringLiteral("최신 상태 · ") + Format::ago(*badge.date, now)
                           : QStringLiteral("최신 상태"),
                QStringLiteral("문서가 최신 상태예요"), false};
    case K::syncing:
        return {int(S::syncing), blue,
                badge.total <= 0 ? QStringLiteral("동기화 중")
                                 : QStringLiteral("동기화 중 %1/%2").arg(badge.done).arg(badge.total),
                QStringLiteral("문서를 동기화하고 있어요"), false};
    case K::rebuilding:
        return {int(S::syncing), orange,
                badge.total <= 0 ? QStringLiteral("다시 내려받는 중")
                                 : QStringLiteral("다시 내려받는 중 %1/%2").arg(badge.done).arg(badge.total),
                SyncBadge::rebuildingMessage(), false};
    case K::offline:
        return {int(S::offline), QColor(),
                badge.date ? QStringLiteral("오프라인 · ") + Format::dateTime(*badge.date) + QStringLiteral(" 기준")
                           : QStringLiteral("오프라인"),
                QStringLiteral("인터넷에 연결되면 자동으로 동기화해요"), false};
    case K::failed:
        return {int(S::warning), orange, QStringLiteral("동기화 실패 · 다시 시도"), badge.message, true};
    case K::loginRequired:
        return {int(S::key), orange, QStringLiteral("다시 로그인 필요"),
                QStringLiteral("눌러서 다시 로그인하세요. 저장된 문서는 그대로 볼 수 있어요"), true};
    case K::upgradeRequired:
        return {int(S::upgrade), red, QStringLiteral("업데이트 필요"),
                badge.minVersion ? QStringLiteral("동기화하려면 ") + *badge.minVersion +
                                       QStringLiteral(" 이상으로 업데이트해야 해요")
                                 : QStringLiteral("동기화하려면 앱을 업데이트해야 해요"),
                true};
    }
    return {};
}

StatusBadgeView::StatusBadgeView(SyncController &sync, Account &account, QWidget *parent)
    : QToolButton(parent), sync_(sync), account_(account) {
    setObjectName(QStringLiteral("syncBadge"));
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setAutoRaise(true);
    setIconSize(QSize(16, 16));
    connect(this, &QToolButton::clicked, &sync_, [this] {
        switch (sync_.badge().kind) {
        case SyncBadge::Kind::failed:
            sync_.syncNow();
            break;
        case SyncBadge::Kind::loginRequired:
            account_.beginLogin();
            break;
        case SyncBadge::Kind::upgradeRequired:
            sync_.openDownloadPage();
            break;
        default:
            break;
        }
    });
    connect(&sync_, &SyncController::badgeChanged, this, &StatusBadgeView::refresh);
    clock_.setInterval(30'000);
    connect(&clock_, &QTimer::timeout, this, &StatusBadgeView::refresh);
    clock_.start();
    refresh();
}

void StatusBadgeView::refresh() {
    const Look l = look(sync_.badge(), nowSeconds());
    const QColor color = l.color.isValid() ? l.color : palette().color(QPalette::PlaceholderText);
    setIcon(Icons::tinted(Icons::Symbol(l.symbol), color));
    setText(l.text);
    setToolTip(l.help);
    setAccessibleName(QStringLiteral("동기화 상태: ") + l.text);
    setAccessibleDescription(l.help);
    setEnabled(true);
    setCursor(l.actionable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    setFocusPolicy(l.actionable ? Qt::StrongFocus : Qt::NoFocus);
    setStyleSheet(l.actionable ? QString() : QStringLiteral("QToolButton { border: none; }"));
    setProperty("actionable", l.actionable);
}

} // namespace quorvel::app
