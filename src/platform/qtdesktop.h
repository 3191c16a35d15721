#pragma once

#include "platform/desktop.h"
#include "platform/eventpump.h"

// The production desktop: real sleeps, real event pumping, a real end.
class QtDesktop final : public Desktop
{
public:
    QtDesktop();

    void sleep(int ms) override;
    void pumpEvents() override;
    bool startProgram(const QString &commandLine, QString *error) override;
    QString prompt(const QString &text, const QString &title) override;
    double timer() override;
    QDateTime now() override;
    QString programDirectory() override;
    QString commandLine() override;

protected:
    void exitProgram(int exitCode) override;

private:
    qint64 mClockStartNs = 0;
    qint64 mMidnightOffsetMs = 0;
    EventPump mPump;
};

// With no display to talk to, pick Qt's offscreen platform before the
// application object exists, so that the program also runs under cron.
void chooseHeadlessPlatformIfNeeded();
