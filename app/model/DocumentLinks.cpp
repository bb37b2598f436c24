#include "model/DocumentLinks.hpp"

#include "model/Reader.hpp"
#include "model/Services.hpp"
#include "model/Stage.hpp"
#include "model/Workers.hpp"

#include "store/LocalStore.hpp"
#include "util/DocumentLink.hpp"

#include <QUrl>

namespace quorvel::app {

DocumentLinks::DocumentLinks(Workers &workers, const Services &services, Stage &stage, Reader &reader, QObject *parent)
    : QObject(parent), workers_(workers), stage_(stage), reader_(reader), store_(services.store) {
    connect(&stage_, &Stage::phaseChanged, this, &DocumentLinks::follow);
}

QString DocumentLinks::notFoundMessage() {
    return QStringLiteral("이 문서를 찾을 수 없어요. 동기화한 뒤 다시 열어 보세요.");
}

QString DocumentLinks::noLibraryMessage() {
    return QStringLiteral("아직 받은 문서가 없어요. 로그인해서 문서를 받은 뒤 다시 열어 보세요.");
}

QString DocumentLinks::unreadableMessage() {
    return QStringLiteral("이 링크로는 문서를 열 수 없어요.");
}

bool DocumentLinks::take(const QString &url) {
    const std::optional<int64_t> fileID = DocumentLink::parse(url.toStdString());
    if (!fileID) {
        // A damaged document link is still not a sign-in's answer: it must not end one.
        const QUrl parsed(url);
        if (parsed.scheme().compare(QLatin1String("quorvel"), Qt::CaseInsensitive) != 0 ||
            parsed.host().compare(QLatin1String("open"), Qt::CaseInsensitive) != 0)
            return false;
        Q_EMIT arrived();
        Q_EMIT refused(unreadableMessage());
        return true;
    }
    Q_EMIT arrived();
    switch (stage_.phase().kind) {
    case AppPhase::Kind::main:
        open(*fileID);
        break;
    case AppPhase::Kind::linking:
    case AppPhase::Kind::initialSync:
        waiting_ = fileID;
        break;
    case AppPhase::Kind::start:
    case AppPhase::Kind::revoked:
        Q_EMIT refused(noLibraryMessage());
        break;
    }
    return true;
}

void DocumentLinks::follow() {
    if (!waiting_) return;
    if (stage_.is(AppPhase::Kind::main)) {
        const int64_t fileID = *waiting_;
        waiting_.reset();
        open(fileID);
    } else if (stage_.is(AppPhase::Kind::start) || stage_.is(AppPhase::Kind::revoked)) {
        waiting_.reset();
    }
}

void DocumentLinks::open(int64_t fileID) {
    workers_.onStore(
        this,
        [store = store_, fileID] {
            try {
                return store->summary(fileID).has_value();
            } catch (const std::exception &) {
                return false;
            }
        },
        [this, fileID](bool stored) {
            if (!stage_.is(AppPhase::Kind::main)) return;
            if (stored)
                reader_.open(fileID);
            else
                Q_EMIT refused(notFoundMessage());
        });
}

} // namespace quorvel::app
