// The retry skeleton that uploads and downloads share.

#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/desktop.h"
#include "window/frmupdate.h"

namespace {
constexpr int Attempts = 3;
constexpr int ReconnectPauseMs = 1000;
const QString Root = QStringLiteral("/");
} // namespace

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
        mDesktop.sleep(ReconnectPauseMs);
        mFTP->CloseConnection();
        mFTP->OpenConnection(textURL->text(), mUser, mPassword);
        mDesktop.pumpEvents();
        mFTP->SetFTPDirectory(Root);
        mDesktop.sleep(ReconnectPauseMs);
        Label3->setText(status);
        mDesktop.pumpEvents();
    }
}
