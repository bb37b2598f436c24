#include "views/EmptyLibraryView.hpp"

#include "views/ScreenParts.hpp"

#include "model/Connectivity.hpp"
#include "model/Environment.hpp"
#include "model/SyncController.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel::app {

EmptyLibraryView::EmptyLibraryView(SyncController &sync, Connectivity &connectivity, const Environment &environment,
                                   QWidget *parent)
    : QWidget(parent), sync_(sync), connectivity_(connectivity) {
    QBoxLayout *column = ScreenParts::centredColumn(this, 360);
    column->addWidget(ScreenParts::symbol(Icons::Symbol::tray, this));
    column->addWidget(ScreenParts::title(QStringLiteral("아직 문서가 없어요"), this, 1.2));
    fetching_ = ScreenParts::secondary(QStringLiteral("문서를 가져오는 중이에요…"), this);
    column->addWidget(fetching_);
    create_ = ScreenParts::button(QStringLiteral("웹에서 만들기"), this);
    create_->setObjectName(QStringLiteral("createOnWeb"));
    column->addWidget(create_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(create_, &QPushButton::clicked, this,
            [&environment] { environment.openWebPage(QStringLiteral("/editor")); });
    connect(&sync_, &SyncController::isSyncingChanged, this, &EmptyLibraryView::refresh);
    connect(&connectivity_, &Connectivity::isOnlineChanged, this, &EmptyLibraryView::refresh);
    refresh();
}

void EmptyLibraryView::refresh() {
    fetching_->setVisible(sync_.isSyncing());
    const bool online = connectivity_.isOnline();
    create_->setEnabled(online);
    create_->setToolTip(online ? QStringLiteral("웹 에디터에서 새 문서 만들기")
                               : QStringLiteral("인터넷 연결 후 만들 수 있어요"));
}

} // namespace quorvel::app
