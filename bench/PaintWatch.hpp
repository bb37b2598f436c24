#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

// Calls onPaint for every paint of the widgets it is installed on: the benches' "painted" moment.
namespace quorvel::bench {

struct PaintWatch : QObject {
    std::function<void()> onPaint;
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Paint && onPaint) onPaint();
        return false;
    }
};

} // namespace quorvel::bench
