#pragma once

#include <QPointer>

namespace quorvel::app {

// Marks, for as long as a coroutine of `Part` holds it, that the app itself is writing the library
// or the credentials, so that the watch on them does not take the app's writes for another
// process's. `Part` has an `int writing_` and a `isWritingChanged()` signal, and befriends this.
template <class Part>
class OwnWork {
public:
    explicit OwnWork(Part *part) : part_(part) {
        if (part_->writing_++ == 0) Q_EMIT part_->isWritingChanged();
    }
    ~OwnWork() {
        if (part_ && --part_->writing_ == 0) Q_EMIT part_->isWritingChanged();
    }
    OwnWork(const OwnWork &) = delete;
    OwnWork &operator=(const OwnWork &) = delete;

private:
    QPointer<Part> part_;
};

} // namespace quorvel::app
