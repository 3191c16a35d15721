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

void ProgressBar::sync()
{
    // File sizes run far past what a float holds exactly and past an int
    // altogether, so the fraction is taken in double; Max - Min cannot
    // overflow there either.
    const double span = double(mMax) - double(mMin);
    const double fraction = (double(mValue) - double(mMin)) / span;
    QProgressBar::setValue(qBound(0, int(std::lround(fraction * Steps)), Steps));
}
