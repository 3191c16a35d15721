// The way of one file, upload or download: the pause before it, up to three
// attempts with a reconnection in between, the log line, and the source
// deleted or the job ended.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/desktop.h"
#include "platform/exitcode.h"
#include "window/frmupdate.h"

namespace {
constexpr int Attempts = 3;
constexpr int FirstAttemptPauseMs = 100;
constexpr int ReconnectPauseMs = 1000;
// The last words on the screen stay readable before the program ends.
constexpr int FinalFailurePauseMs = 5000;
const QString Root = QStringLiteral("/");
} // namespace

void FrmUpdate::transferFile(const Direction &direction)
{
    QString remote = textDIR->text() + Textimedat->text();
    QString local = textLDIR->text() + Textimedat->text();
    mStartTime = static_cast<float>(mDesktop.timer());

    Label3->setText(direction.status);
    mFTP->SetFTPDirectory(Root);
    if (direction.pumpBeforePause)
        mDesktop.pumpEvents();
    pause(FirstAttemptPauseMs);

    // The transfer hands the paths back stripped; the log and the deletion
    // name them so.
    const QString &source = direction.localIsSource ? local : remote;
    const QString &destination = direction.localIsSource ? remote : local;
    if (!tryThreeTimes(direction.status, [&] { return (mFTP.get()->*direction.transfer)(local, remote); })) {
        Label3->setText(direction.failedStatus + mFTP->GetLastErrorMessage());
        LogFailure(source, destination, mFTP->GetLastErrorMessage());
        reportFileError(source, destination, mFTP->GetLastErrorMessage());
        pause(FinalFailurePauseMs);
        mDesktop.endProgram(ExitCode::FileFailed);
    }

    Label3->setText(QStringLiteral("Status: Prenos je končan."));
    LogSuccess(source, destination);
    if (Chkbrisi->isChecked())
        direction.deleteSource(*this, source, destination);
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
}

bool FrmUpdate::tryThreeTimes(const QString &status, const std::function<bool()> &attempt)
{
    for (int left = Attempts;;) {
        const bool succeeded = attempt();
        // A transfer that broke off raised no closing event: show where it
        // stopped.
        refreshProgress();
        --left;
        if (succeeded)
            return true;
        if (left == 0)
            return false;

        // Show why, start afresh on a new connection, and try again. A
        // reconnection that fails is not reported by itself: the next
        // attempt fails at its first step and says so.
        Label3->setText(mFTP->GetLastErrorMessage());
        mDesktop.pumpEvents();
        pause(ReconnectPauseMs);
        mFTP->CloseConnection();
        mFTP->OpenConnection(textURL->text(), mUser, mPassword);
        mDesktop.pumpEvents();
        mFTP->SetFTPDirectory(Root);
        pause(ReconnectPauseMs);
        Label3->setText(status);
        mDesktop.pumpEvents();
    }
}
