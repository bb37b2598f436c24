// quorvel-search-provider: answers the desktop's search (GNOME Shell, KRunner) from the library
// on the session bus. The bus starts it on the first search; it leaves after a quiet while.
#include "AppOpener.hpp"
#include "GnomeSearchProvider.hpp"
#include "KRunnerProvider.hpp"
#include "SearchAnswers.hpp"

#include "util/HostEnvironment.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QTimer>

#include <cstdio>

using namespace quorvel::provider;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-search-provider"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_APP_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Answers the desktop's search from Quorvel's library on the "
                                                    "session bus (" QUORVEL_PROVIDER_BUS_NAME ")."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption store(QStringLiteral("store"), QStringLiteral("library directory"), QStringLiteral("DIR"),
                                   QString::fromStdString(quorvel::HostEnvironment::defaultStoreDirectory()));
    const QCommandLineOption program(QStringLiteral("app"), QStringLiteral("the app that opens a chosen document"),
                                     QStringLiteral("PROGRAM"), QStringLiteral(QUORVEL_APP_PROGRAM));
    const QCommandLineOption idle(QStringLiteral("idle-exit"), QStringLiteral("seconds without a call before it exits"),
                                  QStringLiteral("SECONDS"), QStringLiteral("30"));
    parser.addOptions({store, program, idle});
    parser.process(app);
    bool numeric = false;
    const int idleSeconds = parser.value(idle).toInt(&numeric);
    if (!numeric || idleSeconds < 1) parser.showHelp(2);

    registerKRunnerTypes();
    qDBusRegisterMetaType<QList<QVariantMap>>();
    SearchAnswers answers(parser.value(store).toStdString());
    const AppOpener opener(parser.value(program));
    GnomeSearchProvider gnome(answers, opener);
    KRunnerProvider krunner(answers, opener);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral(QUORVEL_PROVIDER_GNOME_PATH), &gnome, QDBusConnection::ExportAllSlots) ||
        !bus.registerObject(QStringLiteral(QUORVEL_PROVIDER_KRUNNER_PATH), &krunner, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral(QUORVEL_PROVIDER_BUS_NAME))) {
        std::fprintf(stderr, "quorvel-search-provider: cannot take %s on the session bus: %s\n",
                     QUORVEL_PROVIDER_BUS_NAME, qPrintable(bus.lastError().message()));
        return 1;
    }

    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(idleSeconds * 1000);
    QObject::connect(&quiet, &QTimer::timeout, &app, &QCoreApplication::quit);
    QObject::connect(&gnome, &GnomeSearchProvider::called, &quiet, qOverload<>(&QTimer::start));
    QObject::connect(&krunner, &KRunnerProvider::called, &quiet, qOverload<>(&QTimer::start));
    quiet.start();
    return app.exec();
}
