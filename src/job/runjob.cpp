// The job: one connection, the command-line command, the site's listed
// commands, the close, a pause, the follow-up programs, and the end.

#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/exitcode.h"
#include "platform/desktop.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

namespace {
constexpr int ListEntries = 20;
constexpr int ClosingPauseMs = 5000;
} // namespace

void FrmUpdate::RunJob(const QString &command)
{
    const bool connected = mConnectRefusal.isEmpty() && mFTP->OpenConnection(textURL->text(), mUser, mPassword);
    if (connected) {
        if (isPresent(command)) {
            QString copy = command;
            ftpprenos(copy);
        }
        for (int n = 1; n <= ListEntries; ++n) {
            QString entry = ReadSetting(mSection, QStringLiteral("prenos%1").arg(n), mIniFile);
            if (isPresent(entry))
                ftpprenos(entry);
        }
        mDesktop.pumpEvents();
    } else {
        // Nothing can be moved, but the scheduler must learn why.
        const QString why = mConnectRefusal.isEmpty() ? mFTP->GetLastErrorMessage() : mConnectRefusal;
        reportProblem(why, why);
    }
    mDesktop.pumpEvents();
    mFTP->CloseConnection();
    mDesktop.pumpEvents();
    pause(ClosingPauseMs);

    for (int n = 1; n <= ListEntries; ++n) {
        const QString program = ReadSetting(mSection, QStringLiteral("run%1").arg(n), mIniFile);
        if (isBlank(program))
            continue;
        QString reason;
        if (!mDesktop.startProgram(program, &reason)) {
            reportProblem(
                QStringLiteral("Napaka: programa ni mogoče zagnati (run%1): %2: %3").arg(n).arg(program, reason),
                QStringLiteral("run%1: cannot start %2: %3").arg(n).arg(program, reason));
            mDesktop.endProgram(ExitCode::ProgramNotStarted);
        }
    }
    if (!connected)
        mDesktop.endProgram(ExitCode::NotConnected);
    mDesktop.endProgram(mWorkedAround ? ExitCode::WorkedAround : ExitCode::Done);
}
