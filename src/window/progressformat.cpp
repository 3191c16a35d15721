#include "window/progressformat.h"

#include <cmath>
#include <optional>

namespace progressformat {

double roundHalfEven(double value)
{
    // The default rounding mode of the floating-point environment is to the
    // nearest, ties to even.
    return std::nearbyint(value);
}

QString single(float value, const QLocale &locale)
{
    QString text = QString::number(double(value), 'g', 7).toUpper();
    // "1E+07": Qt writes the exponent with at least two digits, as wanted.
    if (locale.decimalPoint() != QLatin1String("."))
        text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

QString rate(float kiloBytesPerSecond, const QLocale &locale)
{
    const double value = double(kiloBytesPerSecond);
    if (!std::isfinite(value))
        return QString();
    const double thousandths = std::round(std::fabs(value) * 1000.0);
    const double whole = std::floor(thousandths / 1000.0);
    const int decimals = int(thousandths - whole * 1000.0);
    QString text = value < 0 && thousandths > 0 ? QStringLiteral("-") : QString();
    if (whole > 0)
        text += QString::number(whole, 'f', 0);
    text += locale.decimalPoint();
    text += QStringLiteral("%1").arg(decimals / 10, 2, 10, QLatin1Char('0'));
    if (decimals % 10 != 0)
        text += QString::number(decimals % 10);
    return text;
}

QString hoursMinutesSeconds(float seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("--:--:--");
    float minutes = std::floor(seconds / 60.0f);
    const float secs = std::floor(seconds - minutes * 60.0f);
    const float hours = std::floor(minutes / 60.0f);
    minutes -= hours * 60.0f;
    return QStringLiteral("%1:%2:%3")
        .arg(qint64(hours), 2, 10, QLatin1Char('0'))
        .arg(qint64(minutes), 2, 10, QLatin1Char('0'))
        .arg(qint64(secs), 2, 10, QLatin1Char('0'));
}

} // namespace progressformat
