// The library window and the settings as a screen reader meets them (the QAccessible tree), and the
// keyboard's way through the library window.
#include "ModelKit.hpp"
#include "WindowQueries.hpp"

#include "document/DocumentView.hpp"
#include "model/LaunchAtLogin.hpp"
#include "model/UpdateChecker.hpp"
#include "views/Alerts.hpp"
#include "views/InitialSyncView.hpp"
#include "views/LinkingView.hpp"
#include "views/MainView.hpp"
#include "views/MainWindow.hpp"
#include "views/RevokedView.hpp"
#include "views/RootView.hpp"
#include "views/SettingsView.hpp"
#include "views/SidebarView.hpp"
#include "views/StartView.hpp"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QSet>
#include <QTest>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::app::test;

namespace {

// What a person can press, check, pick from or type into.
bool interactive(QAccessible::Role role) {
    using A = QAccessible;
    static const QSet<A::Role> roles{A::PushButton, A::CheckBox,       A::RadioButton,  A::ComboBox,
                                     A::SpinBox,    A::Slider,         A::EditableText, A::ButtonDropDown,
                                     A::ButtonMenu, A::ButtonDropGrid, A::Link,         A::PageTab,
                                     A::MenuItem,   A::ListItem,       A::TreeItem};
    return roles.contains(role);
}

struct Reading {
    int controls = 0;
    QStringList nameless;
};

// The document's own content is the author's, not a control of the app: the walk stops at it.
void read(QAccessibleInterface *node, Reading &reading, int depth = 0) {
    if (!node || !node->isValid() || node->state().invisible || depth > 40) return;
    if (node->role() == QAccessible::WebDocument) return;
    if (interactive(node->role())) {
        ++reading.controls;
        if (node->text(QAccessible::Name).trimmed().isEmpty() &&
            node->text(QAccessible::Description).trimmed().isEmpty()) {
            QObject *object = node->object();
            for (QAccessibleInterface *up = node; !object && up; up = up->parent())
                object = up->object();
            reading.nameless << QString("role %1 in %2 '%3'")
                                    .arg(int(node->role()))
                                    .arg(QString::fromLatin1(object ? object->metaObject()->className() : "?"),
                                         object ? object->objectName() : QString());
        }
    }
    for (int i = 0; i < node->childCount(); ++i)
        read(node->child(i), reading, depth + 1);
}

// The library window on the small library, a document open in it.
struct LibraryWindow {
    ModelKit kit;
    std::unique_ptr<AppModel> model = kit.linkedModel();
    MainWindow window{*model, model->updateChecker()};

    bool shown() {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window) || !QTest::qWaitFor([&] { return showing<MainView>(window); }))
            return false;
        model->reader().open(ModelKit::smallLibrary().documents().begin()->first);
        return QTest::qWaitFor([&] {
            auto *view = window.findChild<DocumentView *>();
            return view && view->isVisible();
        });
    }
};

// The first ancestor of the focus (itself included) that is one of `names`, else its class.
QString focusedPart(const QStringList &names) {
    QWidget *focus = QApplication::focusWidget();
    for (QWidget *w = focus; w; w = w->parentWidget())
        if (names.contains(w->objectName())) return w->objectName();
    return focus ? QString::fromLatin1(focus->metaObject()->className()) : "-";
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void libraryAndSettingsNameTheirControls();
    void screensBeforeAndAfterTheLibraryNameTheirControls();
    void tabGoesSidebarListDocument();

private:
    void check(QWidget *screen, const QString &name);
    void report();
    QStringList screens_;
    QStringList nameless_;
};

void AccessibilityTest::initTestCase() {
    Alerts::setHandler([](QWidget *, const Alerts::Alert &alert) { return alert.escapeButton; });
}

void AccessibilityTest::check(QWidget *screen, const QString &name) {
    Reading reading;
    read(QAccessible::queryAccessibleInterface(screen), reading);
    screens_ << QString("%1 (%2)").arg(name).arg(reading.controls);
    if (reading.controls == 0) nameless_ << name + ": no controls at all";
    for (const QString &control : reading.nameless)
        nameless_ << name + ": " + control;
}

void AccessibilityTest::report() {
    qInfo().noquote() << "screens read:" << std::exchange(screens_, {}).join(u"; ");
    QVERIFY2(nameless_.isEmpty(), qPrintable(std::exchange(nameless_, {}).join(u"; ")));
}

void AccessibilityTest::libraryAndSettingsNameTheirControls() {
    LibraryWindow library;
    QVERIFY(library.shown());
    auto &[kit, model, window] = library;
    check(&window, "library");
    model->search().setSearchText("회의록");
    QTRY_VERIFY(named<QWidget>(&window, "searchResults")->isVisible());
    check(&window, "search results");

    const QString autostart = kit.dir.filePath("autostart/kr.vatsu.quorvel.desktop");
    LaunchAtLogin launch(autostart, "/usr/bin/quorvel");
    SettingsView settings(*model, model->updateChecker(), launch);
    settings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings));
    for (int tab = 0; tab < settings.count(); ++tab) {
        settings.setCurrentIndex(tab);
        check(&settings, "settings: " + settings.tabText(tab));
    }
    report();
}

// Each phase's screen as it shows: the welcome, the link waiting for the browser, the first
// download (kept on screen by a slow answer) and the device unlinked on the web.
void AccessibilityTest::screensBeforeAndAfterTheLibraryNameTheirControls() {
    ModelKit kit;
    kit.autoApprove = false;
    service::FaultRule slow;
    slow.endpoint = "files";
    slow.delayMs = 2000;
    kit.control().addFault(slow);
    auto model = kit.makeModel();
    MainWindow window(*model, model->updateChecker());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(showing<StartView>(window));
    check(&window, "start");
    model->account().beginLogin();
    QTRY_VERIFY(showing<LinkingView>(window));
    check(&window, "linking");
    model->account().cancelLogin();
    kit.autoApprove = true;
    model->account().beginLogin();
    QTRY_VERIFY_WITH_TIMEOUT(showing<InitialSyncView>(window), 20000);
    check(&window, "first download");
    QTRY_VERIFY_WITH_TIMEOUT(showing<MainView>(window) && !model->sync().isSyncing(), 20000);
    kit.control().revokeAllDevices();
    model->sync().syncNow();
    QTRY_VERIFY_WITH_TIMEOUT(showing<RevokedView>(window), 20000);
    check(&window, "unlinked");
    report();
}

void AccessibilityTest::tabGoesSidebarListDocument() {
    LibraryWindow library;
    QVERIFY(library.shown());
    auto &[kit, model, window] = library;
    auto *sidebar = window.findChild<SidebarView *>();
    const QStringList parts = {"searchField", "libraryTree", "searchResults", "document"};

    // From the search field, Tab until the document: only the sidebar's controls lie on the way.
    auto walk = [&] {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) qFatal("the window did not become active");
        named<QWidget>(&window, "searchField")->setFocus(Qt::TabFocusReason);
        QStringList order{focusedPart(parts)};
        for (int i = 0; i < 20 && order.last() != "document"; ++i) {
            const QWidget *before = QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            (void)QTest::qWaitFor([&] { return QApplication::focusWidget() != before; }, 2000);
            if (!sidebar->isAncestorOf(QApplication::focusWidget()) && focusedPart(parts) != "document")
                order << "outside the sidebar: " + focusedPart(parts);
            else if (focusedPart(parts) != order.last())
                order << focusedPart(parts);
        }
        order.removeIf([&](const QString &part) { return !parts.contains(part) && !part.startsWith(u"outside"); });
        return order;
    };
    QCOMPARE(walk(), (QStringList{"searchField", "libraryTree", "document"}));
    model->search().setSearchText("회의록");
    QTRY_VERIFY(named<QWidget>(&window, "searchResults")->isVisible());
    QCOMPARE(walk(), (QStringList{"searchField", "searchResults", "document"}));
}

int main(int argc, char **argv) {
    DocumentView::registerSchemes();
    QApplication app(argc, argv);
    AccessibilityTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "AccessibilityTest.moc"
