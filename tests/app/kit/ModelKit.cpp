#include "ModelKit.hpp"

#include "sync/SyncEngine.hpp"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

namespace quorvel::app::test {

ModelKit::ModelKit(service::Library library, service::ServiceOptions options)
    : service(std::move(options), std::move(library)),
      settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat) {
    service.start();
    baseURL = service.baseURL();
}

service::Library ModelKit::smallLibrary() {
    service::Library lib;
    const int64_t work = lib.addFolder("업무", std::nullopt);
    lib.addFolder("개인", std::nullopt);
    lib.addDocument("회의록", work, "<h1>회의록</h1><p>분기 회의 <img src=\"/images/chart.png\"></p>", 1'700'000'000);
    lib.addDocument("보고서", work, "<p>연간 보고서입니다.</p>", 1'700'000'100);
    lib.addDocument("메모", std::nullopt, "<p>짧은 메모</p>", 1'700'000'200);
    lib.putImage("/images/chart.png",
                 service::LibraryImage{"image/png", [] { return std::string("\x89PNG\r\n\x1a\nchart", 13); }});
    lib.setShell({"1", "<!doctype html><html><head><title>s</title></head><body>{{CONTENT}}</body></html>"});
    return lib;
}

Environment ModelKit::environment() {
    Environment env;
    env.baseURL = baseURL;
    env.storeDirectory = dir.filePath(QStringLiteral("store")).toStdString();
    env.fallbackDirectory = dir.filePath(QStringLiteral("fallback")).toStdString();
    env.settings = &settings;
    env.deviceName = "테스트 컴퓨터";
    env.appVersion = "0.1.0";
    env.osVersion = "Debian GNU/Linux 12";
    env.now = [this] { return SyncEngine::systemClock() + clockOffset; };
    env.openUrl = [this](const QUrl &url) {
        opened << url;
        if (!browserWorks) return false;
        if (autoApprove && url.path() == QLatin1String("/app/link")) approve(url);
        return true;
    };
    return env;
}

void ModelKit::approve(const QUrl &linkPage) {
    const QUrlQuery query(linkPage);
    const std::string code =
        control().approveLink(query.queryItemValue(QStringLiteral("challenge")).toStdString(),
                              query.queryItemValue(QStringLiteral("device_name"), QUrl::FullyDecoded).toStdString());
    const QString callback = QStringLiteral("quorvel://link?state=%1&code=%2")
                                 .arg(query.queryItemValue(QStringLiteral("state")), QString::fromStdString(code));
    // The browser answers later, as a real one does.
    QTimer::singleShot(0, [model = current_, callback] {
        if (model) model->account().handleCallbackURL(callback);
    });
}

std::unique_ptr<AppModel> ModelKit::makeModel() {
    auto model = std::make_unique<AppModel>(environment());
    current_ = model.get();
    settle(*model);
    return model;
}

std::unique_ptr<AppModel> ModelKit::linkedModel() {
    auto model = makeModel();
    model->account().beginLogin();
    if (!QTest::qWaitFor([&] { return model->stage().is(AppPhase::Kind::main) && !model->sync().isSyncing(); }, 20000))
        qFatal("the model did not link and sync");
    settle(*model);
    return model;
}

void ModelKit::syncAndWait(AppModel &model) {
    QSignalSpy ended(&model.sync(), &SyncController::isSyncingChanged);
    model.sync().syncNow();
    if (!QTest::qWaitFor([&] { return ended.count() >= 2; }, 20000)) qFatal("the sync did not end");
    settle(model);
}

void ModelKit::settle(AppModel &model) {
    auto idle = model.whenStoreIdle();
    if (!QTest::qWaitFor([&] { return idle.isFinished(); }, 20000)) qFatal("the store queue did not drain");
    // The queue's last answers are posted to this thread before the marker finishes, and a slow
    // (sanitized) run can see the marker first: deliver them before anyone reads the model.
    QCoreApplication::sendPostedEvents();
}

} // namespace quorvel::app::test
