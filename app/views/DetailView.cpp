#include "views/DetailView.hpp"

#include "views/Icons.hpp"
#include "views/ScreenParts.hpp"

#include "document/DocumentView.hpp"
#include "model/AppModel.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace quorvel::app {

namespace {

QLabel *symbolLabel(Icons::Symbol symbol, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setPixmap(Icons::tinted(symbol, parent->palette().color(QPalette::PlaceholderText)).pixmap(48, 48));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

DetailView::DetailView(AppModel &model, QWidget *parent) : QStackedWidget(parent), model_(model) {
    empty_ = emptyLibrary();
    hint_ = hint();
    addWidget(empty_);
    addWidget(hint_);
    for (auto signal :
         {&AppModel::pageChanged, &AppModel::fileCountChanged, &AppModel::isSyncingChanged, &AppModel::isOnlineChanged})
        connect(&model_, signal, this, &DetailView::refresh);
    refresh();
}

QWidget *DetailView::emptyLibrary() {
    auto *host = new QWidget(this);
    QBoxLayout *column = ScreenParts::centredColumn(host, 360);
    column->addWidget(symbolLabel(Icons::Symbol::tray, host));
    column->addWidget(ScreenParts::title(QStringLiteral("아직 문서가 없어요"), host, 1.2));
    fetching_ = ScreenParts::secondary(QStringLiteral("문서를 가져오는 중이에요…"), host);
    column->addWidget(fetching_);
    create_ = ScreenParts::button(QStringLiteral("웹에서 만들기"), host);
    column->addWidget(create_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    connect(create_, &QPushButton::clicked, &model_, [this] {
        if (auto url = model_.webURL(QStringLiteral("/editor"))) model_.environment().openUrl(*url);
    });
    return host;
}

QWidget *DetailView::hint() {
    auto *host = new QWidget(this);
    QBoxLayout *column = ScreenParts::centredColumn(host, 360);
    column->addWidget(symbolLabel(Icons::Symbol::document, host));
    column->addWidget(ScreenParts::secondary(QStringLiteral("왼쪽에서 문서를 골라 주세요"), host));
    column->addStretch(1);
    return host;
}

DocumentView *DetailView::ensureDocument() {
    if (document_) return document_;
    // Made with the first page: the web engine's start is not paid for on a library nobody reads yet.
    document_ = new DocumentView(model_.store(), this);
    document_->setUrlOpener(model_.environment().openUrl);
    document_->setZoom(model_.zoom());
    document_->setAccessibleName(QStringLiteral("문서"));
    addWidget(document_);
    QPointer<DocumentView> viewer(document_);
    model_.setPrintHandler(QPointer<QObject>(document_), [viewer] {
        if (viewer && viewer->isVisible()) viewer->print();
    });
    connect(&model_, &AppModel::zoomChanged, document_, [this] { document_->setZoom(model_.zoom()); });
    Q_EMIT documentCreated(document_);
    return document_;
}

void DetailView::refresh() {
    // A page wins: it stays readable even while a sync empties the library under it.
    if (const auto &page = model_.page()) {
        DocumentView *document = ensureDocument();
        document->showPage(page->key, page->html);
        setCurrentWidget(document);
    } else if (model_.fileCount() == 0) {
        setCurrentWidget(empty_);
    } else {
        setCurrentWidget(hint_);
    }
    fetching_->setVisible(model_.isSyncing());
    create_->setEnabled(model_.isOnline());
    create_->setToolTip(model_.isOnline() ? QStringLiteral("웹 에디터에서 새 문서 만들기")
                                          : QStringLiteral("인터넷 연결 후 만들 수 있어요"));
}

} // namespace quorvel::app
