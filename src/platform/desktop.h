#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

#include "platform/metronome.h"

// Everything the job does to the world outside the FTP connection and the
// window goes through this seam, so that tests can run a whole job (its
// pauses, its end, the programs it starts) in microseconds and watch it.
class Desktop
{
public:
    virtual ~Desktop();

    virtual void sleep(int ms) = 0;
    // A pause of ms that starts with first(): the time first() takes (the
    // window showing where the job stands) is part of the pause, not added
    // to it. Here: first(), then sleep(ms), which is as good where sleeping
    // costs nothing.
    virtual void pauseAfter(int ms, const std::function<void()> &first);
    // Lets every pending window event run, then returns. Does nothing until
    // the desktop's beat comes, if it has one: a transfer asks for this
    // several times for every block, and the question must cost next to
    // nothing; so it is answered here, inline, and only a pass that is due
    // goes to the desktop.
    void pumpEvents() { pumpEvents(1); }
    // times chances in a row. With a beat one question answers them all,
    // as a pass is not due twice within a beat.
    void pumpEvents(int times)
    {
        if (mBeat) {
            if (times > 0 && mBeat->take())
                letEventsRun();
            return;
        }
        for (; times > 0; --times)
            letEventsRun();
    }
    // One real pass of the window's events, whenever the last one was: the
    // job is about to stop (a pause, a wait on the network) and the window
    // must show where it stands meanwhile.
    virtual void pumpEventsNow() = 0;
    // Ends the process at once: no clean-up, no further statement runs,
    // except the end hook.
    [[noreturn]] void endProgram(int exitCode);
    // Runs inside endProgram, once, just before the process goes: the last
    // word of the job (its closing record). It gets the exit code and
    // returns the one the program ends with. One hook at a time; an empty
    // one removes it.
    using EndHook = std::function<int(int exitCode)>;
    void setEndHook(EndHook hook);
    // Starts a command line detached; false with a reason when it cannot.
    virtual bool startProgram(const QString &commandLine, QString *error) = 0;
    // A modal text prompt; "" when cancelled.
    virtual QString prompt(const QString &text, const QString &title) = 0;
    // Seconds since local midnight, with fractions. Cheap enough to be read
    // for every block of a transfer.
    virtual double timer() = 0;
    virtual QDateTime now() = 0;
    // Directory of the running executable, without a trailing separator.
    virtual QString programDirectory() = 0;
    // The program's arguments joined by blanks.
    virtual QString commandLine() = 0;
    // The settings file named on the command line; empty for the one
    // beside the executable.
    virtual QString settingsFile();
    // The file named by --log-json, for the job's machine-readable record;
    // empty when there is none.
    virtual QString jsonLogFile();
    // One line for the scheduler's log (standard error).
    virtual void printDiagnostic(const QString &line);

protected:
    // Must not return: exit the process, or (in tests) throw.
    virtual void exitProgram(int exitCode) = 0;
    // A pass of pumpEvents() that is due.
    virtual void letEventsRun() = 0;
    // The pace of pumpEvents(); none: every call is a pass.
    void setBeat(Metronome *beat) { mBeat = beat; }

private:
    Metronome *mBeat = nullptr;
    EndHook mEndHook;
};
