#include "views/RootView.hpp"

#include "views/InitialSyncView.hpp"
#include "views/LinkingView.hpp"
#include "views/MainView.hpp"
#include "views/RevokedView.hpp"
#include "views/StartView.hpp"

#include "model/AppModel.hpp"
#include "model/Stage.hpp"

namespace quorvel::app {

RootView::RootView(AppModel &model, QWidget *parent) : QStackedWidget(parent), model_(model) {
    connect(&model_.stage(), &Stage::phaseChanged, this, &RootView::showPhase);
    showPhase();
}

// The library is made once and kept; the other screens are small and hold nothing, so they are
// made fresh each time they are needed.
QWidget *RootView::screen(int kind) {
    using K = AppPhase::Kind;
    AppModel &m = model_;
    switch (K(kind)) {
    case K::main:
        if (!main_) {
            main_ = new MainView(m, this);
            addWidget(main_);
            Q_EMIT mainViewCreated(main_);
        }
        return main_;
    case K::start:
        return new StartView(m.account(), m.stage(), m.revocation(), m.environment(), this);
    case K::linking:
        return new LinkingView(m.account(), this);
    case K::initialSync:
        return new InitialSyncView(m.stage(), m.sync(), this);
    case K::revoked:
        return new RevokedView(m.account(), this);
    }
    return nullptr;
}

void RootView::showPhase() {
    const int kind = int(model_.stage().phase().kind);
    if (current_ && current_->property("phase").toInt() == kind) return;
    QWidget *next = screen(kind);
    if (next != main_) addWidget(next);
    next->setProperty("phase", kind);
    QWidget *previous = current_;
    setCurrentWidget(next);
    current_ = next;
    if (previous && previous != main_) previous->deleteLater();
}

} // namespace quorvel::app
