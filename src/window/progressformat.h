#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <cmath>
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
// elapsed time is 0 or the result would not be a number. Inline and without
// a call into the maths library: every block of a transfer works it out.
inline std::optional<float> averageRate(qint64 bytes, float elapsedSeconds)
{
    if (elapsedSeconds == 0.0f)
        return std::nullopt;
    const double quotient = double(bytes) / double(elapsedSeconds);
    // Whole bytes per second beyond 9e15 make no sense (and a NaN fails
    // this too); within it the whole part fits the integer below.
    if (!(quotient < 9.0e15 + 1.0 && quotient >= -9.0e15))
        return std::nullopt;
    qint64 whole = qint64(quotient); // toward zero; the largest not above:
    if (double(whole) > quotient)
        --whole;
    // Hundredths of thousands are tens of bytes; the halves go away from
    // zero, as the text pattern "####.00" rounds them.
    const qint64 tens = whole >= 0 ? (whole + 5) / 10 : -((-whole + 5) / 10);
    return float(double(tens) / 100.0);
}

// What averageRate() makes of a count and an elapsed time, told without
// working it out: Kept when it gives nothing (the rate keeps its value),
// Zero when it gives 0, NonZero otherwise. A transfer asks for every block
// whether its rate is 0 (the time left then stays as it was), and the
// division would cost more than the rest of the block's display.
enum class RateKind { Kept, Zero, NonZero };
inline RateKind rateKind(qint64 bytes, float elapsedSeconds)
{
    if (elapsedSeconds == 0.0f)
        return RateKind::Kept;
    // Far from the limits of averageRate() the sign of the whole bytes per
    // second alone decides, and a product of the elapsed time tells it
    // exactly: the count is a whole number and the elapsed time a float,
    // so no quotient can round across 5 or -4 (see the tests). Near the
    // limits the rate is worked out.
    const double count = double(bytes);
    const double elapsed = double(elapsedSeconds);
    if (!(std::fabs(count) < 1.0e15 * std::fabs(elapsed) && std::fabs(count) < 4.0e15 && std::fabs(elapsed) < 1.0e9)) {
        const std::optional<float> rate = averageRate(bytes, elapsedSeconds);
        return !rate ? RateKind::Kept : *rate == 0.0f ? RateKind::Zero : RateKind::NonZero;
    }
    // Whole bytes per second of 5 and more, or of -5 and less, round to a
    // rate that is not 0: a quotient q >= 5, or q < -4.
    const bool nonZero = elapsed > 0 ? (count >= 5.0 * elapsed || count < -4.0 * elapsed)
                                     : (-count >= -5.0 * elapsed || -count < 4.0 * elapsed);
    return nonZero ? RateKind::NonZero : RateKind::Zero;
}

// Seconds as HH:MM:SS. A day or more keeps counting hours ("27:46:40");
// a negative or unknown time, which a transfer across midnight gives, is
// "--:--:--".
QString hoursMinutesSeconds(float seconds);

// Rounds to a whole number, halves to the even neighbour.
double roundHalfEven(double value);

} // namespace progressformat
