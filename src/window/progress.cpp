// The progress display: every block of a transfer raises an event, which
// notes its numbers here; the widgets are refreshed from them at most every
// 16 ms and always at the end of a file, which is all the eye can follow
// and keeps the display from costing the transfer its speed. What a refresh
// shows is what the event before it would have shown had every event been
// drawn.

#include <QLabel>

#include <cmath>

#include "platform/desktop.h"
#include "window/frmupdate.h"
#include "window/labels.h"
#include "window/progressbar.h"
#include "window/progressformat.h"

namespace {
constexpr double RefreshIntervalSeconds = 0.016;
} // namespace

// A transfer calls this for every 255 bytes: it keeps the numbers and lets
// the window in, and leaves the texts to refreshProgress(). The clock is
// read once; the pumps cost next to nothing unless the window's turn has
// come.
void FrmUpdate::mFTP_FileTransferProgress(qint64 lCurrentBytes, qint64 lTotalBytes)
{
    // Every step stands on its own: one that cannot be carried out (a zero
    // elapsed time, a refused bar value) is left out and the rest goes on.
    const double now = mDesktop.timer();
    const float elapsed = static_cast<float>(now) - mStartTime;
    if (const auto kind = progressformat::rateKind(lCurrentBytes, elapsed); kind != progressformat::RateKind::Kept) {
        mProgress.rate.bytes = lCurrentBytes;
        mProgress.rate.elapsed = elapsed;
        mProgress.rate.nonZero = kind == progressformat::RateKind::NonZero;
        mProgress.hasRate = true;
    }

    PB->setMax(static_cast<float>(lTotalBytes));
    PB->setMin(0.0f);
    mProgress.previous = PB->Value();
    mDesktop.pumpEvents();
    PB->setValue(static_cast<float>(lCurrentBytes));
    mDesktop.pumpEvents(3);
    if (mMinimized) {
        mProgress.caption.previous = mProgress.previous;
        mProgress.caption.max = PB->Max();
        mProgress.hasCaption = true;
    }
    mDesktop.pumpEvents();
    // A rate of 0 leaves the time left as the last event that had one said.
    if (mProgress.hasRate ? mProgress.rate.nonZero : mRate != 0.0f) {
        mProgress.timeLeft.max = PB->Max();
        mProgress.timeLeft.value = PB->Value();
        mProgress.timeLeft.rateBytes = mProgress.rate.bytes;
        mProgress.timeLeft.rateElapsed = mProgress.rate.elapsed;
        mProgress.timeLeft.fromSample = mProgress.hasRate;
        mProgress.hasTimeLeft = true;
    }
    mProgress.pending = true;

    if (lCurrentBytes == lTotalBytes || now - mProgress.lastRefresh >= RefreshIntervalSeconds
        || now < mProgress.lastRefresh)
        refreshProgress();
}

void FrmUpdate::holdProgress()
{
    mProgress.lastRefresh = mDesktop.timer();
}

void FrmUpdate::refreshProgress()
{
    holdProgress();
    if (!mProgress.pending)
        return;
    mProgress.pending = false;
    // The time left below takes the rate its own event had.
    const float rateBefore = mRate;
    const auto rateOf = [rateBefore](qint64 bytes, float elapsed, bool fromSample) {
        return fromSample ? progressformat::averageRate(bytes, elapsed).value_or(rateBefore) : rateBefore;
    };
    mRate = rateOf(mProgress.rate.bytes, mProgress.rate.elapsed, mProgress.hasRate);
    mProgress.hasRate = false;

    const QLocale locale;
    PB->sync();
    PB->setToolTipText(progressformat::single(PB->Value(), locale) + QStringLiteral(" Bytes od ")
                       + progressformat::single(PB->Max(), locale) + QStringLiteral(" Bytes Prenešeno "));
    const qint64 valueKb = qint64(progressformat::roundHalfEven(PB->Value())) / 1024;
    const qint64 maxKb = qint64(progressformat::roundHalfEven(PB->Max())) / 1024;
    Label7->setText(QStringLiteral("%1 KB od %2 KB Prenešeno").arg(valueKb).arg(maxKb));

    // The percentage is that of the count before the last block: it trails
    // the bar by one block, and the last event of a file says "100%".
    const auto percentOf = [](float previous, float max) {
        return qint64(progressformat::roundHalfEven(progressformat::roundHalfEven(previous) / double(max) * 100.0));
    };
    Label9->setText(PB->Max() == PB->Value()
                        ? QStringLiteral("100%")
                        : QString::number(percentOf(mProgress.previous, PB->Max())) + QLatin1Char('%'));
    if (mProgress.hasCaption) {
        setWindowTitle(QStringLiteral("FTP prenos ")
                       + QString::number(percentOf(mProgress.caption.previous, mProgress.caption.max))
                       + QLatin1Char('%'));
        mProgress.hasCaption = false;
    }
    Label10->setText(progressformat::rate(mRate, locale) + QStringLiteral(" Kbps"));
    growToText(Label10);
    if (mProgress.hasTimeLeft) {
        const ProgressTexts::TimeLeft &left = mProgress.timeLeft;
        const float seconds
            = std::floor((left.max - left.value) / 1024.0f / rateOf(left.rateBytes, left.rateElapsed, left.fromSample));
        if (std::isfinite(seconds))
            Label11->setText(QStringLiteral("Do konca še: ") + ConvertTime(seconds));
        mProgress.hasTimeLeft = false;
    }
}

QString FrmUpdate::ConvertTime(float TheTime)
{
    return progressformat::hoursMinutesSeconds(TheTime);
}
