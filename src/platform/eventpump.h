#pragma once

#include <QCoreApplication>

#include <chrono>

#include "platform/metronome.h"

// Lets Qt's pending events run, at most once every few milliseconds. A
// transfer asks for window events several times for every 255-byte block,
// millions of times a second; letting Qt look a few hundred times a second
// is all a person can tell apart, and a call in between costs the load of
// one flag. The first call always lets the events run.
//
// The beat is one for the whole program: Qt's events are the program's,
// whoever asks for them. Two layers pump with it that must not see each
// other, the desktop seam and cFTP for a caller that gave it no pump of its
// own; so it sits below both, header-only and with nothing but QtCore under
// it: cFTP takes no window, no desktop and no library with it.
class EventPump
{
public:
    static constexpr std::chrono::milliseconds Interval{4};

    void operator()() const
    {
        if (mBeat->take())
            QCoreApplication::processEvents();
    }
    // Several chances in a row: a pass is not due twice within a beat, so
    // one question answers them all.
    void operator()(int times) const
    {
        if (times > 0)
            (*this)();
    }

    // One pass whatever the beat says: before the program stops to wait, the
    // window must show where it stands.
    static void now() { QCoreApplication::processEvents(); }

    // The program's one beat, started by its first user.
    static Metronome &beat()
    {
        static Metronome metronome(Interval);
        return metronome;
    }

private:
    Metronome *mBeat = &beat();
};
