#pragma once

#include "platform/desktop.h"

#include <QCoreApplication>
#include <QStringList>

#include <functional>
#include <stdexcept>

// Thrown by FakeDesktop::endProgram: the test catches it where the real
// program would have ended.
struct ProgramEnded : std::runtime_error
{
    explicit ProgramEnded(int code) : std::runtime_error("program ended"), exitCode(code) {}
    int exitCode;
};

// A desktop for tests: nothing sleeps, every effect is recorded.
class FakeDesktop : public Desktop
{
public:
    void sleep(int ms) override
    {
        sleeps.append(ms);
        clock += ms / 1000.0;
        if (onSleep)
            onSleep(ms);
    }
    // A pause starts before what the job does in it.
    void pauseAfter(int ms, const std::function<void()> &first) override
    {
        if (onPauseStart)
            onPauseStart(ms);
        Desktop::pauseAfter(ms, first);
    }
    // Every pumpEvents() comes here: a fake desktop has no beat.
    void letEventsRun() override
    {
        ++pumps;
        if (onPump)
            onPump();
    }
    // A real pass, as it is the one the job makes before it stops: a test
    // can look at what the window painted.
    void pumpEventsNow() override
    {
        ++passes;
        QCoreApplication::processEvents();
        if (onPass)
            onPass();
    }
    bool startProgram(const QString &commandLine, QString *error) override
    {
        if (failingPrograms.contains(commandLine)) {
            if (error)
                *error = QStringLiteral("cannot start");
            return false;
        }
        started.append(commandLine);
        return true;
    }
    QString prompt(const QString &text, const QString &title) override
    {
        prompts.append(title + QLatin1Char('|') + text);
        return promptAnswer;
    }
    double timer() override { return clock; }
    QDateTime now() override { return fixedNow; }
    QString programDirectory() override { return programDir; }
    QString commandLine() override { return arguments; }
    QString settingsFile() override { return settingsPath; }
    QString jsonLogFile() override { return jsonLogPath; }
    void printDiagnostic(const QString &line) override { diagnostics.append(line); }

    // Let a test look at the window whenever the job pauses or pumps, and
    // at the world at the moment the real program would have ended.
    std::function<void(int)> onSleep;
    std::function<void(int)> onPauseStart;
    std::function<void()> onPump;
    std::function<void(int)> onExit;
    std::function<void()> onPass;

    QList<int> sleeps;
    int pumps = 0;
    int passes = 0;
    QStringList started;
    QStringList failingPrograms;
    QStringList prompts;
    QString promptAnswer;
    double clock = 36000.0;
    QDateTime fixedNow = QDateTime(QDate(2026, 12, 7), QTime(9, 41, 5));
    QString programDir;
    QString arguments;
    QString settingsPath;
    QString jsonLogPath;
    // What the job wrote to standard error, one line each.
    QStringList diagnostics;

protected:
    void exitProgram(int exitCode) override
    {
        if (onExit)
            onExit(exitCode);
        throw ProgramEnded(exitCode);
    }
};
