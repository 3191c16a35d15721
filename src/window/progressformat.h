#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <optional>

// How the progress display writes its numbers. Pure functions of their
// arguments, so that what the window shows after any event can be worked
// out from the numbers alone.
namespace progressformat {

// A single-precision number as a desktop writes one: at most seven
// significant digits, whole numbers in full up to seven digits, larger ones
// in exponent notation ("1.677722E+07").
QString single(float value, const QLocale &locale = QLocale());

// The rate pattern "##.#0#": no leading zero, two decimals, a third only
// when it is not 0 (".40", "12.35", "1.234").
QString rate(float kiloBytesPerSecond, const QLocale &locale = QLocale());

// Whole bytes per second over the elapsed seconds, in thousands of bytes
// per second rounded to hundredths, halves away from zero. Nothing when the
// elapsed time is 0 or the result would not be a number.
std::optional<float> averageRate(qint64 bytes, float elapsedSeconds);

// Seconds as HH:MM:SS. A day or more keeps counting hours ("27:46:40");
// a negative or unknown time, which a transfer across midnight gives, is
// "--:--:--".
QString hoursMinutesSeconds(float seconds);

// Rounds to a whole number, halves to the even neighbour.
double roundHalfEven(double value);

} // namespace progressformat
