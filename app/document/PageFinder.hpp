#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWebEnginePage;

namespace quorvel::app {

// Marks words in the page shown with the engine's own find, which needs no script: every match
// highlighted and the active one scrolled to. The engine finds one text at a time, so the words are
// looked for as typed first and then one by one, and the first that the page holds is marked.
class PageFinder : public QObject {
    Q_OBJECT
public:
    explicit PageFinder(QWebEnginePage *page, QObject *parent = nullptr);

    // Marks `words` in the page (loaded already) from its top; empty clears the marks.
    void mark(const QString &words);
    void next();
    void previous();
    void clear();
    // What is marked: one of the words, or the words as typed.
    const QString &term() const { return term_; }

    // The words to look for, in the order they are tried.
    static QStringList candidates(const QString &words);

Q_SIGNALS:
    // The active mark is the `active`th of `count` (from 1); a count of 0: nothing found.
    void found(int active, int count);

private:
    void tryFrom(qsizetype index);
    void step(bool backward);

    QPointer<QWebEnginePage> page_;
    QStringList candidates_;
    QString term_;
    quint64 serial_ = 0; // the newest mark(): answers to older ones are dropped
};

} // namespace quorvel::app
