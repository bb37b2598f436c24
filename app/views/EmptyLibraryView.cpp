#include "views/EmptyLibraryView.hpp"

#include "views/ScreenParts.hpp"

#include "model/AppModel.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quorvel::app {

EmptyLibraryView::EmptyLibraryView(AppModel &model, QWidget *parent) : QWidget(parent), model_(model) {
    QBoxLayout *column = ScreenParts::centredColumn(this, 360);
    column->addWidget(ScreenParts::symbol(Icons::Symbol::tray, this));
    column->addWidget(ScreenParts::title(QStringLiteral("아직 문서가 없어요"), this, 1.2));
    fetching_ = ScreenParts::secondary(QStringLiteral("문서를 가져오는 중이에요…"), this);
    column->addWidget(fetching_);
    create_ = ScreenParts::button(QStringLiteral("웹에서 만들기"), this);
    column->addWidget(create_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(create_, &QPushButton::clicked, &model_, [this] {
        if (auto url = model_.webURL(QStringLiteral("/editor"))) model_.environment().openUrl(*url);
    });
    for (auto signal : {&AppModel::isSyncingChanged, &AppModel::isOnlineChanged})
        connect(&model_, signal, this, &EmptyLibraryView::refresh);
    refresh();
}

void EmptyLibraryView::refresh() {
    fetching_->setVisible(model_.isSyncing());
    create_->setEnabled(model_.isOnline());
    create_->setToolTip(model_.isOnline() ? QStringLiteral("웹 에디터에서 새 문서 만들기")
                                          : QStringLiteral("인터넷 연결 후 만들 수 있어요"));
}

} // namespace quorvel::app
