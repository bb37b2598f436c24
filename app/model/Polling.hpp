#pragma once

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <functional>

namespace quorvel::app {

// Waits while `busy()` holds, looking every 50 ms, at most `times` times. False when `owner` went
// away meanwhile (and `busy` is not asked again). For the model's coroutines only.
QCoro::Task<bool> pollWhile(QObject *owner, std::function<bool()> busy, int times);

} // namespace quorvel::app
