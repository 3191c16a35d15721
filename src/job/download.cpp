// One server file into the local folder, with up to three attempts.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/exitcode.h"
#include "platform/desktop.h"
#include "window/frmupdate.h"

void FrmUpdate::download()
{
    QString remote = textDIR->text() + Textimedat->text();
    QString local = textLDIR->text() + Textimedat->text();
    mStartTime = static_cast<float>(mDesktop.timer());

    const QString status = QStringLiteral("Status: prenos iz strežnika...");
    Label3->setText(status);
    mFTP->SetFTPDirectory(QStringLiteral("/"));
    mDesktop.pumpEvents();
    mDesktop.sleep(100);

    if (!tryThreeTimes(status, [&] { return mFTP->FTPDownloadFile(local, remote); })) {
        Label3->setText(QStringLiteral("Status napaka: ") + mFTP->GetLastErrorMessage());
        LogFailure(remote, local, mFTP->GetLastErrorMessage());
        mDesktop.sleep(5000);
        mDesktop.endProgram(ExitCode::FileFailed);
    }

    Label3->setText(QStringLiteral("Status: Prenos je končan."));
    LogSuccess(remote, local);
    // The local copy is on disk (the download made sure), so the server's
    // copy may go. A failed deletion leaves it for the next run.
    if (Chkbrisi->isChecked())
        mFTP->DeleteFTPFile(remote);
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
}
