// The way of one file, upload or download: the pause before it, up to three
// attempts with a reconnection in between, and its outcome: delivered,
// failed for good (which ends the job), or skipped for a name that cannot
// move as itself.

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
constexpr double DaySeconds = 24 * 60 * 60;
const QString Root = QStringLiteral("/");
} // namespace

void FrmUpdate::transferFile(const Direction &direction, const FileToMove &file)
{
    if (std::optional<FileOutcome> skipped = unmovable(direction, file)) {
        Textimedat->setText(file.name);
        finishFile(direction, *skipped);
        return;
    }
    mStartTime = static_cast<float>(mDesktop.timer());
    const double started = mDesktop.timer();

    const QString status = connectionStatus(direction.status);
    // The pause before a file counts from the moment the job turns to it:
    // the window taking up the file's name and status is the first thing
    // the job does in it, not a cost added to it. What the first attempt
    // asks of the server before its transfer command (a download's size,
    // the data connection) is asked while the pause lasts, not after it:
    // the server answers while the window stands still.
    pause(
        FirstAttemptPauseMs,
        [&] {
            if (direction.sizeAhead)
                mFTP->AskFileSizeAhead(file.remote);
            mFTP->PrepareTransferAhead();
        },
        [&] {
            Textimedat->setText(file.name);
            Label3->setText(status);
            mFTP->SetFTPDirectory(Root);
            if (direction.pumpBeforePause)
                mDesktop.pumpEvents();
        });

    FileOutcome outcome;
    outcome.name = file.name;
    outcome.source = direction.localIsSource ? file.local : file.remote;
    outcome.destination = direction.localIsSource ? file.remote : file.local;
    const bool delivered = tryThreeTimes(
        status, [&] { return (mFTP.get()->*direction.transfer)(file.local, file.remote); }, &outcome.attempts);
    // The timer counts from midnight; a file may be on its way across it.
    outcome.seconds = mDesktop.timer() - started;
    if (outcome.seconds < 0)
        outcome.seconds += DaySeconds;
    if (delivered) {
        outcome.result = FileOutcome::Result::Delivered;
        outcome.bytes = mFTP->lastDelivery().bytes;
        outcome.verification = mFTP->lastDelivery().verification;
    } else {
        outcome.result = FileOutcome::Result::Failed;
        outcome.error = mFTP->GetLastErrorMessage();
    }
    finishFile(direction, outcome);
    if (!delivered) {
        pause(FinalFailurePauseMs);
        mDesktop.endProgram(ExitCode::FileFailed);
    }
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
}

bool FrmUpdate::tryThreeTimes(const QString &status, const std::function<bool()> &attempt, int *attempts)
{
    for (int left = Attempts;;) {
        // The blocks of an attempt are shown like those of a file under way:
        // 16 ms into it, and at its end. The pause before it says nothing
        // about when they were last shown.
        holdProgress();
        const bool succeeded = attempt();
        ++*attempts;
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
