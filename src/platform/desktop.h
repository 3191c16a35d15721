#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// Everything the job does to the world outside the FTP connection and the
// window goes through this seam, so that tests can run a whole job (its
// pauses, its end, the programs it starts) in microseconds and watch it.
class Desktop
{
public:
    virtual ~Desktop();

    virtual void sleep(int ms) = 0;
    // Lets every pending window event run, then returns.
    virtual void pumpEvents() = 0;
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
    // Seconds since local midnight, with fractions.
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

private:
    EndHook mEndHook;
};
