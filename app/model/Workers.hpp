#pragma once

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cstdint>
#include <type_traits>

namespace quorvel::app {

// Where the parts run what can block, so the main thread never does:
//   - store work, one piece at a time in the order it was asked, so answers arrive in that order;
//   - network work (syncs, the token exchange, revocation, release checks, erasing), beside it.
// An answer comes back to the main thread for its owner: it is dropped when the owner is gone, or
// when the library was erased after it was asked (answers about the library that was). Answers
// travel through this object, so an owner may go before its work ends; this goes after the parts
// that use it, and its destructor waits for the work in flight.
class Workers : public QObject {
    Q_OBJECT
public:
    Workers();
    ~Workers() override;

    // Runs `work` on the store queue, then `then(answer)` on the main thread. Returns the work's
    // place in the queue: of two pieces, the later one reads what the earlier one left.
    template <class Work, class Then>
    uint64_t onStore(QObject *owner, Work work, Then then);
    // The place the next piece of store work will take.
    uint64_t nextTicket() const { return asked_ + 1; }
    // Work that may wait on the network, off the main thread.
    template <class Work>
    auto onWorker(Work work) -> QFuture<std::invoke_result_t<Work>>;
    // The same, then `then(answer)` on the main thread; the future ends after it (or its drop).
    template <class Work, class Then>
    QFuture<void> onWorker(QObject *owner, Work work, Then then);

    // The library was erased: answers to store work asked before now are dropped.
    void libraryErased() { ++epoch_; }
    // Resolves once every piece of store work queued so far has been answered on the main thread.
    QFuture<void> whenStoreIdle();

private:
    uint64_t epoch_ = 0;
    uint64_t asked_ = 0;
    QThreadPool pool_;
    QThreadPool storeQueue_;
};

template <class Work>
auto Workers::onWorker(Work work) -> QFuture<std::invoke_result_t<Work>> {
    return QtConcurrent::run(&pool_, std::move(work));
}

template <class Work, class Then>
QFuture<void> Workers::onWorker(QObject *owner, Work work, Then then) {
    QPointer<QObject> alive(owner);
    return QtConcurrent::run(&pool_, std::move(work))
        .then(this, [alive, then = std::move(then)](std::invoke_result_t<Work &> answer) mutable {
            if (alive) then(std::move(answer));
        });
}

template <class Work, class Then>
uint64_t Workers::onStore(QObject *owner, Work work, Then then) {
    QPointer<QObject> alive(owner);
    const uint64_t epoch = epoch_;
    QtConcurrent::run(&storeQueue_, std::move(work))
        .then(this, [this, alive, epoch, then = std::move(then)](std::invoke_result_t<Work &> answer) mutable {
            if (!alive || epoch_ != epoch) return;
            then(std::move(answer));
        });
    return ++asked_;
}

} // namespace quorvel::app
