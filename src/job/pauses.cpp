// The job's fixed pauses (a moment before every file, a second after every
// upload and before every new attempt, five seconds at the end), which a
// site may turn off ("pavze=0"), and what the window shows before the job
// stops: a pause or a wait on the network leaves the window as it is for
// its whole length, so it must show where things stand first.

#include <QLabel>

#include "platform/desktop.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

void FrmUpdate::readPauses()
{
    const QString pauses = ReadSetting(mSection, QStringLiteral("pavze"), mIniFile);
    mPauses = pauses != QLatin1String("0");
    if (isPresent(pauses) && mPauses && pauses != QLatin1String("1"))
        warn(QStringLiteral("pavze \"%1\" is neither 0 nor 1: the pauses are kept").arg(pauses));
}

void FrmUpdate::pause(int ms, const std::function<void()> &meanwhile, const std::function<void()> &opening)
{
    // The pause starts as the job stops; showing where it stands is the
    // first thing the pause is for.
    const auto first = [this, &meanwhile, &opening] {
        if (opening)
            opening();
        if (mPauses)
            showState();
        else
            passState();
        if (meanwhile)
            meanwhile();
    };
    if (!mPauses) {
        first();
        return;
    }
    mDesktop.pauseAfter(ms, first);
}

// Without the pauses the job stops only where it waits on the network, and a
// wait that lasts shows the window itself (the wait hook is showState()).
// The states in between are all set, in order, as with the pauses; they are
// painted at the pace of the window's events, a few hundred times a second,
// more than a screen shows. Painting each one, thousands a second, took a
// third of the job's time with many small files.
void FrmUpdate::passState()
{
    showPendingList();
    refreshProgress();
    mDesktop.pumpEvents();
}

void FrmUpdate::showState()
{
    showPendingList();
    refreshProgress();
    mDesktop.pumpEventsNow();
}
