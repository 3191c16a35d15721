// The progress display: every block of a transfer raises an event, which
// updates the numbers here; the widgets are refreshed from them at most
// every 16 ms and always at the end of a file, which is all the eye can
// follow and keeps the display from costing the transfer its speed.

#include <QLabel>

#include <cmath>

#include "platform/coarseclock.h"
#include "platform/desktop.h"
#include "window/frmupdate.h"
#include "window/labels.h"
#include "window/progressbar.h"
#include "window/progressformat.h"

namespace {
constexpr qint64 RefreshIntervalNs = 16'000'000;
} // namespace

void FrmUpdate::mFTP_FileTransferProgress(qint64 lCurrentBytes, qint64 lTotalBytes)
{
    // Every step stands on its own: one that cannot be carried out (a zero
    // elapsed time, a refused bar value) is left out and the rest goes on.
    const float now = static_cast<float>(mDesktop.timer());
    if (const auto rate = progressformat::averageRate(lCurrentBytes, now - mStartTime))
        mRate = *rate;

    PB->setMax(static_cast<float>(lTotalBytes));
    PB->setMin(0.0f);
    const double previous = progressformat::roundHalfEven(PB->Value());
    mDesktop.pumpEvents();
    PB->setValue(static_cast<float>(lCurrentBytes));
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();

    // The percentage is that of the count before this block: it trails the
    // bar by one block, and the last event of a file says "100%" below.
    mProgress.percent = progressformat::roundHalfEven(previous / double(PB->Max()) * 100.0);
    if (isMinimized())
        mProgress.captionPercent = mProgress.percent;
    mDesktop.pumpEvents();

    if (mRate != 0.0f) {
        const float left = std::floor((PB->Max() - PB->Value()) / 1024.0f / mRate);
        if (std::isfinite(left))
            mProgress.timeLeft = left;
    }
    mProgress.complete = PB->Max() == PB->Value();
    mProgress.pending = true;

    if (lCurrentBytes == lTotalBytes || coarseMonotonicNs() - mProgress.lastRefreshNs >= RefreshIntervalNs)
        refreshProgress();
}

void FrmUpdate::refreshProgress()
{
    mProgress.lastRefreshNs = coarseMonotonicNs();
    if (!mProgress.pending)
        return;
    mProgress.pending = false;

    const QLocale locale;
    PB->sync();
    PB->setToolTipText(progressformat::single(PB->Value(), locale) + QStringLiteral(" Bytes od ")
                       + progressformat::single(PB->Max(), locale) + QStringLiteral(" Bytes Prenešeno "));
    const qint64 valueKb = qint64(progressformat::roundHalfEven(PB->Value())) / 1024;
    const qint64 maxKb = qint64(progressformat::roundHalfEven(PB->Max())) / 1024;
    Label7->setText(QStringLiteral("%1 KB od %2 KB Prenešeno").arg(valueKb).arg(maxKb));
    const QString percent = QString::number(qint64(mProgress.percent)) + QLatin1Char('%');
    Label9->setText(mProgress.complete ? QStringLiteral("100%") : percent);
    if (mProgress.captionPercent) {
        setWindowTitle(QStringLiteral("FTP prenos ") + QString::number(qint64(*mProgress.captionPercent))
                       + QLatin1Char('%'));
        mProgress.captionPercent.reset();
    }
    Label10->setText(progressformat::rate(mRate, locale) + QStringLiteral(" Kbps"));
    growToText(Label10);
    if (mProgress.timeLeft) {
        Label11->setText(QStringLiteral("Do konca še: ") + ConvertTime(*mProgress.timeLeft));
        mProgress.timeLeft.reset();
    }
}

QString FrmUpdate::ConvertTime(float TheTime)
{
    return progressformat::hoursMinutesSeconds(TheTime);
}
