// The viewer's decisions that need no running engine: page building, navigation, what the
// blocker lets through and how it answers, and what the asset handler sends.
#include "document/AssetHosts.hpp"
#include "document/AssetSchemeHandler.hpp"
#include "document/ContentBlocker.hpp"
#include "document/DocumentPage.hpp"
#include "document/NavigationPolicy.hpp"

#include <QApplication>
#include <QTest>

#include <optional>
#include <string>
#include <vector>

using namespace quorvel::app;

Q_DECLARE_METATYPE(std::optional<std::string>)
Q_DECLARE_METATYPE(NavigationPolicy::Decision)

namespace {

const QString policy = QString::fromUtf8(DocumentPage::policyTag.data(), DocumentPage::policyTag.size());

QString fromStd(const std::string &s) {
    return QString::fromStdString(s);
}

} // namespace

class DocumentUnitsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void buildsPages_data();
    void buildsPages();
    void injectsPolicy_data();
    void injectsPolicy();
    void builtInTemplateCarriesPolicyAndContent();
    void decidesNavigation_data();
    void decidesNavigation();
    void blockerAllows_data();
    void blockerAllows();
    void blockerAnswersWaitersInOrderAfterOneSetUp();
    void blockerFailureAnswersNoneAndTriesAgain();
    void assetAnswers_data();
    void assetAnswers();
    void assetKeys_data();
    void assetKeys();
    void splitsAssetHosts_data();
    void splitsAssetHosts();
};

void DocumentUnitsTest::buildsPages_data() {
    QTest::addColumn<std::optional<std::string>>("shell");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected"); // "@" stands for the policy tag

    QTest::newRow("shell head gets the policy; content goes in place")
        << std::optional<std::string>("<html><head><title>t</title></head><body>{{CONTENT}}</body></html>")
        << "<p>본문</p>"
        << "<html><head>@<title>t</title></head><body><p>본문</p></body></html>";
    QTest::newRow("base tags in the head go, whatever their case and attributes")
        << std::optional<std::string>("<html><HEAD><BASE HREF=\"http://e/\"><base\ttarget=_blank><Base/>"
                                      "<base>x</head><body>{{CONTENT}}</body></html>")
        << "c"
        << "<html><HEAD>@x</head><body>c</body></html>";
    QTest::newRow("base tag in the content and after the marker stay")
        << std::optional<std::string>("<head></head><body>{{CONTENT}}<base href=t></body>") << "<base href=c>"
        << "<head>@</head><body><base href=c><base href=t></body>";
    QTest::newRow("basefont is not a base tag")
        << std::optional<std::string>("<head><basefont size=3></head>{{CONTENT}}") << ""
        << "<head>@<basefont size=3></head>";
    QTest::newRow("base tag never closed stays")
        << std::optional<std::string>("<head></head><base href=x {{CONTENT}}") << "c"
        << "<head>@</head><base href=x c";
    QTest::newRow("split at the first marker only")
        << std::optional<std::string>("<head></head>{{CONTENT}}|{{CONTENT}}") << "c"
        << "<head>@</head>c|{{CONTENT}}";
    QTest::newRow("header element before the head")
        << std::optional<std::string>("<header>h</header><head lang=ko>{{CONTENT}}") << "c"
        << "<header>h</header><head lang=ko>@c";
    QTest::newRow("no head tag: no policy") << std::optional<std::string>("<body>{{CONTENT}}</body>") << "c"
                                            << "<body>c</body>";
    QTest::newRow("head tag only in the content gets nothing")
        << std::optional<std::string>("{{CONTENT}}") << "<head></head>"
        << "<head></head>";
}

void DocumentUnitsTest::buildsPages() {
    QFETCH(std::optional<std::string>, shell);
    QFETCH(QString, content);
    QFETCH(QString, expected);
    expected.replace("@", policy);
    QCOMPARE(fromStd(DocumentPage::build(shell, content.toStdString())), expected);
}

void DocumentUnitsTest::injectsPolicy_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "<head><meta>"
                           << "<head>@<meta>";
    QTest::newRow("upper case with attributes") << "<HEAD CLASS=\"a\" data-x=1>x"
                                                << "<HEAD CLASS=\"a\" data-x=1>@x";
    QTest::newRow("white space after the name") << "<head\n>x"
                                                << "<head\n>@x";
    QTest::newRow("header first, head later") << "<header><head>"
                                              << "<header><head>@";
    QTest::newRow("headline is no head") << "<headline>"
                                         << "<headline>";
    QTest::newRow("never closed") << "<head class=x"
                                  << "<head class=x";
    QTest::newRow("name at the very end") << "x<head"
                                          << "x<head";
    QTest::newRow("first head only") << "<head><head>"
                                     << "<head>@<head>";
}

void DocumentUnitsTest::injectsPolicy() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    expected.replace("@", policy);
    QCOMPARE(fromStd(DocumentPage::injectCSP(text.toStdString())), expected);
}

void DocumentUnitsTest::builtInTemplateCarriesPolicyAndContent() {
    // A shell that is absent, empty or without the marker falls back to the built-in template.
    for (const auto &shell : {std::optional<std::string>(), std::optional<std::string>(""),
                              std::optional<std::string>("<head></head><body>no marker</body>")}) {
        const QString page = fromStd(DocumentPage::build(shell, "<p>한국어</p>"));
        QVERIFY(page.startsWith("<!doctype html>\n<html lang=\"ko\"><head>" + policy + "<meta charset=\"utf-8\">"));
        QVERIFY(page.endsWith("<body><p>한국어</p></body></html>"));
        QCOMPARE(page.count(policy), 1);
    }
}

void DocumentUnitsTest::decidesNavigation_data() {
    using D = NavigationPolicy::Decision;
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("mainFrame");
    QTest::addColumn<NavigationPolicy::Decision>("expected");
    const int link = QWebEnginePage::NavigationTypeLinkClicked;
    const int typed = QWebEnginePage::NavigationTypeTyped;
    // The page shown is "data:text/html,doc".
    QTest::newRow("http link") << QUrl("http://example.com/a") << link << true << D::openExternally;
    QTest::newRow("HTTPS link") << QUrl("HTTPS://example.com/a") << link << true << D::openExternally;
    QTest::newRow("mailto link") << QUrl("mailto:a@example.com") << link << true << D::openExternally;
    QTest::newRow("http link in a frame") << QUrl("http://example.com/") << link << false << D::openExternally;
    QTest::newRow("anchor of the page") << QUrl("data:text/html,doc#part") << link << true << D::allow;
    QTest::newRow("anchor of the page in a frame") << QUrl("data:text/html,doc#part") << link << false << D::cancel;
    QTest::newRow("the page without anchor") << QUrl("data:text/html,doc") << link << true << D::cancel;
    QTest::newRow("anchor of another page") << QUrl("about:blank#part") << link << true << D::cancel;
    QTest::newRow("file link") << QUrl("file:///etc/passwd") << link << true << D::cancel;
    QTest::newRow("javascript link") << QUrl("javascript:alert(1)") << link << true << D::cancel;
    QTest::newRow("data link") << QUrl("data:text/html,other") << link << true << D::cancel;
    QTest::newRow("ftp link") << QUrl("ftp://example.com/") << link << true << D::cancel;
    QTest::newRow("asset link") << QUrl("quorvel-asset://missing") << link << true << D::cancel;
    QTest::newRow("empty link") << QUrl() << link << true << D::cancel;
    QTest::newRow("form to http") << QUrl("http://example.com/f") << int(QWebEnginePage::NavigationTypeFormSubmitted)
                                  << true << D::cancel;
    QTest::newRow("back") << QUrl("data:text/html,doc") << int(QWebEnginePage::NavigationTypeBackForward) << true
                          << D::cancel;
    QTest::newRow("reload") << QUrl("data:text/html,doc") << int(QWebEnginePage::NavigationTypeReload) << true
                            << D::cancel;
    QTest::newRow("refresh to http") << QUrl("http://example.com/") << int(QWebEnginePage::NavigationTypeRedirect)
                                     << true << D::cancel;
    QTest::newRow("other about:blank") << QUrl("about:blank") << int(QWebEnginePage::NavigationTypeOther) << true
                                       << D::cancel;
    QTest::newRow("own data page") << QUrl("data:text/html,new") << typed << true << D::allow;
    QTest::newRow("own large page") << QUrl("quorvel-page://page/3") << typed << true << D::allow;
    QTest::newRow("own page in a frame") << QUrl("data:text/html,new") << typed << false << D::cancel;
    QTest::newRow("typed http") << QUrl("http://example.com/") << typed << true << D::cancel;
    QTest::newRow("typed file") << QUrl("file:///tmp/x.html") << typed << true << D::cancel;
}

void DocumentUnitsTest::decidesNavigation() {
    QFETCH(QUrl, url);
    QFETCH(int, type);
    QFETCH(bool, mainFrame);
    QFETCH(NavigationPolicy::Decision, expected);
    QCOMPARE(NavigationPolicy::decide(url, QWebEnginePage::NavigationType(type), mainFrame, QUrl("data:text/html,doc")),
             expected);
}

void DocumentUnitsTest::blockerAllows_data() {
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("allowed");
    for (const char *url : {"quorvel-asset://abc", "QUORVEL-ASSET://ABC", "quorvel-page://page/1",
                            "data:image/png;base64,AAAA", "about:blank"})
        QTest::newRow(url) << QUrl(url) << true;
    for (const char *url : {"http://127.0.0.1/", "HTTPS://example.com/", "ws://example.com/", "wss://example.com/",
                            "ftp://example.com/", "file:///etc/passwd", "blob:null/1234", "filesystem:http://e/x",
                            "chrome://settings", "qrc:/x", "javascript:1", "view-source:http://e/", "", "x"})
        QTest::newRow(url) << QUrl(url) << false;
}

void DocumentUnitsTest::blockerAllows() {
    QFETCH(QUrl, url);
    QFETCH(bool, allowed);
    QCOMPARE(ContentBlocker::allows(url), allowed);
}

void DocumentUnitsTest::blockerAnswersWaitersInOrderAfterOneSetUp() {
    ContentBlocker &blocker = ContentBlocker::shared();
    std::vector<std::function<void(bool)>> setUps;
    blocker.setSetUp([&](std::function<void(bool)> finish) { setUps.push_back(std::move(finish)); });
    std::vector<std::pair<int, ContentBlocker *>> answers;
    for (int i = 0; i < 3; ++i)
        blocker.load([&answers, i](ContentBlocker *b) { answers.emplace_back(i, b); });
    QCOMPARE(setUps.size(), size_t(1));
    QVERIFY(answers.empty());
    setUps.front()(true);
    const std::vector<std::pair<int, ContentBlocker *>> inOrder{{0, &blocker}, {1, &blocker}, {2, &blocker}};
    QCOMPARE(answers, inOrder);
    // Ready: answered at once, without another set-up.
    blocker.load([&answers](ContentBlocker *b) { answers.emplace_back(3, b); });
    QCOMPARE(answers.size(), size_t(4));
    QCOMPARE(setUps.size(), size_t(1));
}

void DocumentUnitsTest::blockerFailureAnswersNoneAndTriesAgain() {
    ContentBlocker &blocker = ContentBlocker::shared();
    std::vector<std::function<void(bool)>> setUps;
    blocker.setSetUp([&](std::function<void(bool)> finish) { setUps.push_back(std::move(finish)); });
    std::vector<ContentBlocker *> answers;
    // The second waiter asks again as soon as it hears of the failure.
    blocker.load([&](ContentBlocker *b) { answers.push_back(b); });
    blocker.load([&](ContentBlocker *b) {
        answers.push_back(b);
        blocker.load([&](ContentBlocker *again) { answers.push_back(again); });
    });
    setUps.at(0)(false);
    QCOMPARE(answers, (std::vector<ContentBlocker *>{nullptr, nullptr}));
    QCOMPARE(setUps.size(), size_t(2));
    setUps.at(1)(true);
    QCOMPARE(answers, (std::vector<ContentBlocker *>{nullptr, nullptr, &blocker}));
}

void DocumentUnitsTest::assetAnswers_data() {
    QTest::addColumn<std::optional<std::string>>("data");
    QTest::addColumn<QByteArray>("mimeType");
    QTest::addColumn<bool>("placeholder");
    QTest::newRow("png") << std::optional<std::string>("\x89PNG\r\n\x1a\nrest") << QByteArray("image/png") << false;
    QTest::newRow("svg") << std::optional<std::string>("<?xml version=\"1.0\"?><svg/>") << QByteArray("image/svg+xml")
                         << false;
    QTest::newRow("unknown bytes") << std::optional<std::string>("??") << QByteArray("application/octet-stream")
                                   << false;
    QTest::newRow("empty file") << std::optional<std::string>("") << QByteArray("image/svg+xml") << true;
    QTest::newRow("not stored") << std::optional<std::string>() << QByteArray("image/svg+xml") << true;
}

void DocumentUnitsTest::assetAnswers() {
    QFETCH(std::optional<std::string>, data);
    QFETCH(QByteArray, mimeType);
    QFETCH(bool, placeholder);
    std::optional<std::vector<uint8_t>> bytes;
    if (data) bytes.emplace(data->begin(), data->end());
    const auto answer = AssetSchemeHandler::answer(bytes);
    QCOMPARE(answer.mimeType, mimeType);
    QCOMPARE(answer.body, placeholder ? AssetSchemeHandler::placeholder() : QByteArray::fromStdString(*data));
}

void DocumentUnitsTest::assetKeys_data() {
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("key");
    const QString hash = "3a7bd3e2360a3d29eea436fcfb7e44c735d117c42d1c1835420b6b9942dd4f1b";
    const QString split = hash.left(32) + "." + hash.mid(32);
    QTest::newRow("split hash") << QUrl("quorvel-asset://" + split) << hash;
    QTest::newRow("upper scheme and hash") << QUrl("QUORVEL-ASSET://" + split.toUpper()) << hash;
    QTest::newRow("with a path") << QUrl("quorvel-asset://" + split + "/x.png") << hash;
    // What the engine hands over for an unsplit hash: a URL without host.
    QTest::newRow("unsplit hash") << QUrl("quorvel-asset://" + hash) << "";
    QTest::newRow("missing") << QUrl("quorvel-asset://missing") << "missing";
    QTest::newRow("no host") << QUrl("quorvel-asset:") << "";
}

void DocumentUnitsTest::assetKeys() {
    QFETCH(QUrl, url);
    QFETCH(QString, key);
    QCOMPARE(fromStd(AssetSchemeHandler::keyOf(url)), key);
}

void DocumentUnitsTest::splitsAssetHosts_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    const QString a = "3a7bd3e2360a3d29eea436fcfb7e44c7", b = "35d117c42d1c1835420b6b9942dd4f1b";
    QTest::newRow("image") << "<img src=\"quorvel-asset://" + a + b + "\">"
                           << "<img src=\"quorvel-asset://" + a + "." + b + "\">";
    QTest::newRow("upper case, with a path") << "QUORVEL-Asset://" + a.toUpper() + b + "/x"
                                             << "QUORVEL-Asset://" + a.toUpper() + "." + b + "/x";
    QTest::newRow("srcset and a style, at the very end")
        << "srcset=\"quorvel-asset://" + a + b + " 1x, quorvel-asset://" + b + a + " 2x\" url(quorvel-asset://" + a + b
        << "srcset=\"quorvel-asset://" + a + "." + b + " 1x, quorvel-asset://" + b + "." + a +
               " 2x\" url(quorvel-asset://" + a + "." + b;
    QTest::newRow("missing and short hosts stay")
        << "quorvel-asset://missing quorvel-asset://" + a << "quorvel-asset://missing quorvel-asset://" + a;
    QTest::newRow("longer hosts stay") << "quorvel-asset://" + a + b + "0 quorvel-asset://" + a + b + "x"
                                       << "quorvel-asset://" + a + b + "0 quorvel-asset://" + a + b + "x";
    QTest::newRow("other schemes stay") << "https://" + a + b << "https://" + a + b;
    QTest::newRow("Korean around") << "가quorvel-asset://" + a + b + "나"
                                   << "가quorvel-asset://" + a + "." + b + "나";
}

void DocumentUnitsTest::splitsAssetHosts() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(fromStd(AssetHosts::split(html.toStdString())), expected);
}

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    DocumentUnitsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DocumentUnitsTest.moc"
