#pragma once

#include "platform/desktop.h"
#include "platform/eventpump.h"

#include <QStringList>

#include <memory>

class QInputDialog;

// The production desktop: real sleeps, real event pumping, a real end.
class QtDesktop final : public Desktop
{
public:
    // The site and command of the job, the settings file the command line
    // named (empty for the one beside the executable) and the file of the
    // JSON record (empty for none).
    explicit QtDesktop(QStringList arguments = {}, QString settingsFile = {}, QString jsonLogFile = {});

    void sleep(int ms) override;
    void pauseAfter(int ms, const std::function<void()> &first) override;
    void pumpEventsNow() override;
    bool startProgram(const QString &commandLine, QString *error) override;
    QString prompt(const QString &text, const QString &title) override;
    double timer() override;
    QDateTime now() override;
    QString programDirectory() override;
    QString commandLine() override;
    QString settingsFile() override;
    QString jsonLogFile() override;

    // The prompt as it is shown on a display.
    static std::unique_ptr<QInputDialog> promptDialog(const QString &text, const QString &title);

protected:
    void exitProgram(int exitCode) override;
    void letEventsRun() override;

private:
    qint64 mClockStartNs = 0;
    qint64 mMidnightOffsetMs = 0;
    // The last reading of the clock and the time it gave.
    qint64 mTimerNs = -1;
    double mTimer = 0;
    QStringList mArguments;
    QString mSettingsFile;
    QString mJsonLogFile;
};
