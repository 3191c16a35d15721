#include "window/progressbar.h"

#include <QtGlobal>

#include <cmath>

namespace {
// Qt's bar only knows ints, so it always runs over this many steps and the
// float range is mapped onto it; a thousand steps is finer than any bar
// this wide can show.
constexpr int Steps = 1000;
} // namespace

ProgressBar::ProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setOrientation(Qt::Horizontal);
    // The bar is a plain strip: the percentage would only repeat what the
    // labels beside it already say.
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
    QProgressBar::setRange(0, Steps);
    sync();
}

// The comparisons are written so that a NaN fails them too: a NaN bound or
// value would leave the bar with nothing sensible to draw. Infinities are
// turned away for the same reason.
bool ProgressBar::setMax(float max)
{
    if (!std::isfinite(max) || !(max > mMin))
        return false;
    mMax = max;
    if (mValue > mMax)
        mValue = mMax;
    return true;
}

bool ProgressBar::setMin(float min)
{
    if (!std::isfinite(min) || !(min < mMax))
        return false;
    mMin = min;
    if (mValue < mMin)
        mValue = mMin;
    return true;
}

bool ProgressBar::setValue(float value)
{
    if (!(value >= mMin && value <= mMax))
        return false;
    mValue = value;
    return true;
}

void ProgressBar::sync()
{
    // File sizes run far past what a float holds exactly and past an int
    // altogether, so the fraction is taken in double; Max - Min cannot
    // overflow there either.
    const double span = double(mMax) - double(mMin);
    const double fraction = (double(mValue) - double(mMin)) / span;
    QProgressBar::setValue(qBound(0, int(std::lround(fraction * Steps)), Steps));
}
