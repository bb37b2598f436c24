#include "views/Format.hpp"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace quorvel::app {

namespace {

const QLocale &korean() {
    static const QLocale locale(QLocale::Korean, QLocale::SouthKorea);
    return locale;
}

} // namespace

QString Format::dateTime(double secondsSince1970) {
    const auto when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(secondsSince1970 * 1000)));
    return korean().toString(when.toLocalTime(), QStringLiteral("M월 d일 HH:mm"));
}

QString Format::ago(double date, double now) {
    const double elapsed = now - date;
    if (elapsed < 60) return QStringLiteral("방금");
    if (elapsed < 3600) return QString::number(static_cast<int64_t>(elapsed / 60)) + QStringLiteral("분 전");
    if (elapsed < 86400) return QString::number(static_cast<int64_t>(elapsed / 3600)) + QStringLiteral("시간 전");
    return dateTime(date);
}

QString Format::bytes(int64_t count) {
    return korean().formattedDataSize(count, 1, QLocale::DataSizeSIFormat);
}

double Zoom::in(double zoom) {
    const double steps = std::round(zoom * 10);
    return std::min((steps + 1) / 10, 3.0);
}

double Zoom::out(double zoom) {
    const double steps = std::round(zoom * 10);
    return std::max((steps - 1) / 10, 0.5);
}

} // namespace quorvel::app
