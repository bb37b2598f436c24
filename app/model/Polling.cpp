#include "model/Polling.hpp"

#include <qcoro/qcorotimer.h>

#include <chrono>

namespace quorvel::app {

QCoro::Task<bool> pollWhile(QObject *owner, std::function<bool()> busy, int times) {
    QPointer<QObject> alive(owner);
    for (int i = 0; i < times && busy(); ++i) {
        auto pause = QCoro::sleepFor(std::chrono::milliseconds(50));
        co_await pause;
        if (!alive) co_return false;
    }
    co_return true;
}

} // namespace quorvel::app
