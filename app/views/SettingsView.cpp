#include "views/SettingsView.hpp"

#include "views/Alerts.hpp"
#include "views/Format.hpp"
#include "views/Icons.hpp"

#include "model/Account.hpp"
#include "model/AppConfig.hpp"
#include "model/AppModel.hpp"
#include "model/Connectivity.hpp"
#include "model/LaunchAtLogin.hpp"
#include "model/Library.hpp"
#include "model/Stage.hpp"
#include "model/SyncController.hpp"
#include "model/UpdateChecker.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace quorvel::app {

namespace {

QLabel *note(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent) {
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(text);
    return b;
}

// Buttons keep their natural width, at the start of their row.
QWidget *leftAligned(QWidget *content) {
    auto *row = new QWidget(content->parentWidget());
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    layout->addStretch(1);
    return row;
}

QFormLayout *form(QWidget *page) {
    auto *layout = new QFormLayout(page);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setVerticalSpacing(10);
    layout->setHorizontalSpacing(16);
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return layout;
}

} // namespace

SettingsView::SettingsView(AppModel &model, UpdateChecker &updates, LaunchAtLogin &launch, QWidget *parent)
    : QTabWidget(parent), model_(model), updates_(updates), launch_(launch) {
    setWindowTitle(QStringLiteral("설정"));
    setWindowIcon(Icons::icon(Icons::Symbol::app));
    setDocumentMode(true);
    addTab(general(), Icons::icon(Icons::Symbol::settings), QStringLiteral("일반"));
    addTab(sync(), Icons::icon(Icons::Symbol::syncing), QStringLiteral("동기화"));
    addTab(account(), Icons::icon(Icons::Symbol::account), QStringLiteral("계정"));
    resize(540, 400);
}

void SettingsView::present() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

QWidget *SettingsView::general() {
    auto *page = new QWidget(this);
    QFormLayout *layout = form(page);

    launchAtLogin_ = new QCheckBox(QStringLiteral("로그인할 때 자동 실행"), page);
    layout->addRow(launchAtLogin_);
    launchError_ = note(QString(), page);
    launchError_->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    layout->addRow(launchError_);
    autoCheck_ = new QCheckBox(QStringLiteral("업데이트 자동 확인"), page);
    layout->addRow(autoCheck_);
    auto *version = new QLabel(QStringLiteral("%1 (%2)").arg(QString::fromStdString(AppConfig::appVersion()),
                                                             QString::fromStdString(AppConfig::buildNumber())),
                               page);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addRow(QStringLiteral("현재 버전"), version);
    checkNow_ = button(QStringLiteral("지금 확인"), "checkForUpdates", page);
    layout->addRow(QString(), leftAligned(checkNow_));
    updateStatus_ = new QLabel(page);
    updateStatus_->setWordWrap(true);
    download_ = button(QStringLiteral("다운로드"), "download", page);
    mandatory_ = note(QStringLiteral("이 버전은 더 이상 동기화되지 않아요. 새 버전을 받아 주세요."), page);
    mandatory_->setStyleSheet(QStringLiteral("color: #d32f2f;"));
    layout->addRow(QString(), updateStatus_);
    layout->addRow(QString(), leftAligned(download_));
    layout->addRow(QString(), mandatory_);

    auto syncLaunch = [this] {
        launchAtLogin_->setChecked(launch_.isEnabled());
        launchError_->setText(launch_.errorMessage());
        launchError_->setVisible(!launch_.errorMessage().isEmpty());
    };
    // The toggle shows what the desktop has after each change, not what was asked for.
    connect(launchAtLogin_, &QCheckBox::clicked, &launch_, [this, syncLaunch](bool on) {
        launch_.set(on);
        syncLaunch();
    });
    connect(&launch_, &LaunchAtLogin::isEnabledChanged, this, syncLaunch);
    connect(&launch_, &LaunchAtLogin::errorMessageChanged, this, syncLaunch);
    connect(autoCheck_, &QCheckBox::toggled, &updates_, [this](bool on) { updates_.setAutoCheck(on); });
    connect(checkNow_, &QPushButton::clicked, &updates_, [this] { updates_.checkFromSettings(); });
    connect(download_, &QPushButton::clicked, &updates_, [this] {
        if (updates_.status().release) updates_.openDownload(*updates_.status().release);
    });
    for (auto signal :
         {&UpdateChecker::statusChanged, &UpdateChecker::isCheckingChanged, &UpdateChecker::autoCheckChanged})
        connect(&updates_, signal, this, &SettingsView::refreshUpdates);
    syncLaunch();
    refreshUpdates();
    return page;
}

void SettingsView::refreshUpdates() {
    autoCheck_->setChecked(updates_.autoCheck());
    checkNow_->setEnabled(!updates_.isChecking());
    const UpdateStatus status = updates_.status();
    using K = UpdateStatus::Kind;
    QString text;
    switch (status.kind) {
    case K::idle:
        break;
    case K::checking:
        text = QStringLiteral("확인하는 중…");
        break;
    case K::upToDate:
        text = QStringLiteral("최신 버전을 쓰고 있어요 (") + status.version + QLatin1Char(')');
        break;
    case K::failed:
        text = QStringLiteral("업데이트를 확인하지 못했어요. 인터넷 연결을 확인해 주세요.");
        break;
    case K::available:
        text = QStringLiteral("새 버전 ") + QString::fromStdString(status.release->latestVersion) +
               QStringLiteral("이(가) 나왔어요");
        break;
    }
    updateStatus_->setText(text);
    updateStatus_->setVisible(!text.isEmpty());
    download_->setVisible(status.kind == K::available);
    mandatory_->setVisible(status.kind == K::available && status.mandatory);
}

QWidget *SettingsView::sync() {
    auto *page = new QWidget(this);
    QFormLayout *layout = form(page);
    interval_ = new QComboBox(page);
    interval_->setObjectName(QStringLiteral("syncInterval"));
    for (int minutes : intervals) {
        const QString name = minutes == 0    ? QStringLiteral("수동")
                             : minutes == 60 ? QStringLiteral("1시간")
                                             : QStringLiteral("%1분").arg(minutes);
        interval_->addItem(name, minutes);
    }
    interval_->setAccessibleName(QStringLiteral("동기화 주기"));
    layout->addRow(QStringLiteral("동기화 주기"), interval_);
    fileCount_ = new QLabel(page);
    storage_ = new QLabel(page);
    lastSync_ = new QLabel(page);
    layout->addRow(QStringLiteral("보관한 문서"), fileCount_);
    layout->addRow(QStringLiteral("보관 용량"), storage_);
    layout->addRow(QStringLiteral("마지막 동기화"), lastSync_);
    layout->addRow(note(QStringLiteral("저장된 문서와 이미지를 모두 지우고 서버에서 처음부터 다시 받아요."), page));
    wipe_ = button(QStringLiteral("모두 지우고 다시 받기…"), "wipeAndResync", page);
    layout->addRow(leftAligned(wipe_));
    layout->addRow(note(QStringLiteral("문서와 이미지가 온전한지 확인하고, 손상된 것만 서버에서 다시 받아요."), page));
    check_ = button(QStringLiteral("보관소 검사"), "checkLibrary", page);
    layout->addRow(leftAligned(check_));
    checkResult_ = new QLabel(page);
    checkResult_->setWordWrap(true);
    layout->addRow(checkResult_);

    SyncController &sync = model_.sync();
    Library &library = model_.library();
    connect(interval_, &QComboBox::activated, &sync,
            [this, &sync](int index) { sync.setSyncIntervalMinutes(interval_->itemData(index).toInt()); });
    connect(wipe_, &QPushButton::clicked, this, &SettingsView::confirmWipe);
    connect(check_, &QPushButton::clicked, &library, &Library::check);
    for (auto changed : {&SyncController::syncIntervalMinutesChanged, &SyncController::isSyncingChanged})
        connect(&sync, changed, this, &SettingsView::refreshSync);
    for (auto changed : {&Library::fileCountChanged, &Library::storageBytesChanged, &Library::lastSyncAtChanged,
                         &Library::isCheckingChanged, &Library::checkMessageChanged})
        connect(&library, changed, this, &SettingsView::refreshSync);
    connect(&model_.connectivity(), &Connectivity::isOnlineChanged, this, &SettingsView::refreshSync);
    connect(&model_.stage(), &Stage::phaseChanged, this, &SettingsView::refreshSync);
    refreshSync();
    return page;
}

void SettingsView::refreshSync() {
    const Library &library = model_.library();
    const bool online = model_.connectivity().isOnline();
    const bool inLibrary = model_.stage().is(AppPhase::Kind::main);
    interval_->setCurrentIndex(interval_->findData(model_.sync().syncIntervalMinutes()));
    fileCount_->setText(QStringLiteral("%1개").arg(library.fileCount()));
    storage_->setText(Format::bytes(library.storageBytes()));
    lastSync_->setText(library.lastSyncAt() ? Format::dateTime(*library.lastSyncAt()) : QStringLiteral("아직 없어요"));
    wipe_->setEnabled(online && !model_.sync().isSyncing() && inLibrary);
    wipe_->setToolTip(online ? QString() : QStringLiteral("인터넷에 연결되어 있지 않아요"));
    const bool checking = library.isChecking();
    check_->setEnabled(!checking && inLibrary);
    check_->setText(checking ? QStringLiteral("검사하는 중…") : QStringLiteral("보관소 검사"));
    checkResult_->setText(library.checkMessage().value_or(QString()));
    checkResult_->setVisible(library.checkMessage().has_value());
}

void SettingsView::confirmWipe() {
    Alerts::Alert alert;
    alert.icon = QMessageBox::Warning;
    alert.title = QStringLiteral("모두 지우고 다시 받을까요?");
    alert.text =
        QStringLiteral("이 컴퓨터에 저장된 문서가 모두 지워진 뒤 다시 내려받아요. 인터넷에 연결되어 있어야 해요.");
    alert.buttons = {{QStringLiteral("취소"), QMessageBox::RejectRole, false},
                     {QStringLiteral("지우고 다시 받기"), QMessageBox::DestructiveRole, true}};
    alert.defaultButton = 0;
    alert.escapeButton = 0;
    if (Alerts::ask(this, alert) == 1) model_.account().wipeAndResync();
}

QWidget *SettingsView::account() {
    accountPages_ = new QStackedWidget(this);

    signedOut_ = new QWidget(accountPages_);
    QFormLayout *out = form(signedOut_);
    out->addRow(new QLabel(QStringLiteral("로그인하지 않았어요."), signedOut_));
    auto *login = button(QStringLiteral("브라우저로 로그인"), "signIn", signedOut_);
    out->addRow(leftAligned(login));
    Account &account = model_.account();
    connect(login, &QPushButton::clicked, &account, &Account::beginLogin);

    signedIn_ = new QWidget(accountPages_);
    QFormLayout *in = form(signedIn_);
    email_ = new QLabel(signedIn_);
    email_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    in->addRow(QStringLiteral("이메일"), email_);
    in->addRow(QStringLiteral("기기 이름"),
               new QLabel(QString::fromStdString(model_.environment().deviceName), signedIn_));
    expired_ = new QWidget(signedIn_);
    auto *expiredLayout = new QVBoxLayout(expired_);
    expiredLayout->setContentsMargins(0, 0, 0, 0);
    auto *expiredText =
        new QLabel(QStringLiteral("로그인이 만료되었어요. 저장된 문서는 그대로 볼 수 있어요."), expired_);
    expiredText->setWordWrap(true);
    expiredLayout->addWidget(expiredText);
    auto *relogin = button(QStringLiteral("다시 로그인"), "signInAgain", expired_);
    expiredLayout->addWidget(relogin, 0, Qt::AlignLeft);
    in->addRow(expired_);
    auto *profile = button(QStringLiteral("웹에서 내 계정 열기"), "openProfile", signedIn_);
    in->addRow(leftAligned(profile));
    logout_ = button(QStringLiteral("로그아웃…"), "logout", signedIn_);
    in->addRow(leftAligned(logout_));
    in->addRow(note(QStringLiteral("로그아웃하면 이 컴퓨터에 저장된 문서가 모두 지워져요."), signedIn_));

    connect(relogin, &QPushButton::clicked, &account, &Account::beginLogin);
    connect(profile, &QPushButton::clicked, this,
            [this] { model_.environment().openWebPage(QStringLiteral("/profile")); });
    connect(logout_, &QPushButton::clicked, this, &SettingsView::logoutRequested);

    accountPages_->addWidget(signedOut_);
    accountPages_->addWidget(signedIn_);
    connect(&model_.stage(), &Stage::phaseChanged, this, &SettingsView::refreshAccount);
    connect(&account, &Account::emailChanged, this, &SettingsView::refreshAccount);
    connect(&account, &Account::isLoggingOutChanged, this, &SettingsView::refreshAccount);
    connect(&model_.sync(), &SyncController::needsReloginChanged, this, &SettingsView::refreshAccount);
    refreshAccount();
    return accountPages_;
}

void SettingsView::refreshAccount() {
    // Linked means past the welcome and sign-in screens and not unlinked from the web.
    using K = AppPhase::Kind;
    const K phase = model_.stage().phase().kind;
    const bool linked = phase == K::main || phase == K::initialSync;
    accountPages_->setCurrentWidget(linked ? signedIn_ : signedOut_);
    email_->setText(model_.account().email().value_or(QStringLiteral("-")));
    expired_->setVisible(model_.sync().needsRelogin());
    logout_->setEnabled(!model_.account().isLoggingOut());
}

} // namespace quorvel::app
