#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QToolButton;

namespace quorvel::app {

// The small bar over the page: the words marked in it, where the active mark stands among them
// ("3 / 12"), and the way to the next and the previous one.
class FindBar : public QFrame {
    Q_OBJECT
public:
    explicit FindBar(QWidget *parent = nullptr);

    QLineEdit *field() const { return field_; }
    // Shows `words` without counting as typed.
    void setWords(const QString &words);
    // Where the active mark stands; a count of 0: nothing found (for words that are not empty).
    void showCount(int active, int count);

Q_SIGNALS:
    void wordsEdited(const QString &words);
    void nextRequested();
    void previousRequested();
    void closeRequested();

private:
    QToolButton *button(const char *name, const QString &text, const QString &label);

    QLineEdit *field_;
    QLabel *count_;
    QToolButton *previous_;
    QToolButton *next_;
};

} // namespace quorvel::app
