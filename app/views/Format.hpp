#pragma once

#include <QString>

#include <cstdint>

namespace quorvel::app {

// How the screens write times and sizes.
namespace Format {

// "M월 d일 HH:mm" in Korean, local time.
QString dateTime(double secondsSince1970);
// "방금", "N분 전", "N시간 전", then the date and time.
QString ago(double date, double now);
// In the desktop's file-size style (decimal units, as file managers show them).
QString bytes(int64_t count);

} // namespace Format

// The zoom commands move in steps of 0.1 between 0.5 and 3.0.
namespace Zoom {

double in(double zoom);
double out(double zoom);
inline constexpr double actualSize = 1.0;

} // namespace Zoom

} // namespace quorvel::app
