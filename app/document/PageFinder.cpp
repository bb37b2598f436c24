#include "document/PageFinder.hpp"

#include <QWebEngineFindTextResult>
#include <QWebEnginePage>

namespace quorvel::app {

PageFinder::PageFinder(QWebEnginePage *page, QObject *parent) : QObject(parent), page_(page) {}

QStringList PageFinder::candidates(const QString &words) {
    const QString typed = words.simplified();
    if (typed.isEmpty()) return {};
    QStringList list{typed};
    for (const QString &word : typed.split(QLatin1Char(' ')))
        if (!list.contains(word, Qt::CaseInsensitive)) list.append(word);
    return list;
}

void PageFinder::mark(const QString &words) {
    ++serial_;
    candidates_ = candidates(words);
    term_.clear();
    if (candidates_.isEmpty()) return clear();
    tryFrom(0);
}

void PageFinder::tryFrom(qsizetype index) {
    if (!page_) return;
    const quint64 serial = serial_;
    const QString text = candidates_[index];
    QPointer<PageFinder> self(this);
    page_->findText(text, {}, [self, serial, index, text](const QWebEngineFindTextResult &result) {
        if (!self || self->serial_ != serial) return;
        if (result.numberOfMatches() == 0 && index + 1 < self->candidates_.size()) return self->tryFrom(index + 1);
        self->term_ = result.numberOfMatches() > 0 ? text : QString();
        Q_EMIT self->found(result.activeMatch(), result.numberOfMatches());
    });
}

void PageFinder::next() {
    step(false);
}

void PageFinder::previous() {
    step(true);
}

void PageFinder::step(bool backward) {
    if (!page_ || term_.isEmpty()) return;
    const quint64 serial = serial_;
    QPointer<PageFinder> self(this);
    page_->findText(term_, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                    [self, serial](const QWebEngineFindTextResult &result) {
                        if (self && self->serial_ == serial)
                            Q_EMIT self->found(result.activeMatch(), result.numberOfMatches());
                    });
}

void PageFinder::clear() {
    ++serial_;
    term_.clear();
    candidates_.clear();
    if (page_) page_->findText(QString());
    Q_EMIT found(0, 0);
}

} // namespace quorvel::app
