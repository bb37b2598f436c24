// With a dark application palette the viewer's pages see a dark color scheme. The engine reads
// the scheme once per process, so this suite has its own.
#include "ViewerTestSupport.hpp"

#include "document/DocumentPage.hpp"

#include <QApplication>

using namespace quorvel;
using namespace quorvel::app;
using namespace quorvel::test;

class DocumentDarkTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pagesFollowTheDarkPalette() {
        ScratchStore scratch;
        DocumentView view(scratch.store);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // The built-in template only declares "color-scheme: light dark": a dark canvas.
        QVERIFY(showAndWait(view, "template", DocumentPage::build(std::nullopt, "<p>어두운 화면</p>")));
        QTRY_VERIFY(screen(&view).pixelColor(590, 390).lightness() < 64);
        // A shell's own rules for dark pages apply.
        const std::string shell = "<html><head><style>body { background: #fff; } @media (prefers-color-scheme: dark) "
                                  "{ body { background: #00f; } }</style></head><body>{{CONTENT}}</body></html>";
        QVERIFY(showAndWait(view, "shell", DocumentPage::build(shell, "<p>본문</p>")));
        QTRY_VERIFY(near(screen(&view).pixelColor(590, 390), Qt::blue));
    }
};

int main(int argc, char **argv) {
    DocumentView::registerSchemes();
    QApplication app(argc, argv);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(32, 32, 32));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    DocumentDarkTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DocumentDarkTest.moc"
