#pragma once

#include <QCoreApplication>

#include "platform/coarseclock.h"

// Lets Qt's pending events run, at most once every few milliseconds. A
// transfer asks for window events after every 255-byte block, hundreds of
// thousands of times a second; letting Qt look a few hundred times a second
// is all a person can tell apart, and a call in between only reads the
// cheap clock. The first call always lets the events run.
//
// Two layers pump with it that must not see each other: the desktop seam,
// and cFTP for a caller that gave it no pump of its own. So it sits below
// both, beside the clock it reads, header-only and with nothing but QtCore
// under it: cFTP takes no window, no desktop and no library with it.
class EventPump
{
public:
    static constexpr qint64 IntervalNs = 4'000'000;

    void operator()()
    {
        const qint64 now = coarseMonotonicNs();
        if (mLastNs >= 0 && now - mLastNs < IntervalNs)
            return;
        QCoreApplication::processEvents();
        mLastNs = coarseMonotonicNs();
    }

private:
    qint64 mLastNs = -1;
};
