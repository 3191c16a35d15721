// One server file into the local folder, with up to three attempts.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/exitcode.h"
#include "platform/desktop.h"
#include "platform/diagnostics.h"
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
        reportFileError(remote, local, mFTP->GetLastErrorMessage());
        mDesktop.sleep(5000);
        mDesktop.endProgram(ExitCode::FileFailed);
    }

    Label3->setText(QStringLiteral("Status: Prenos je končan."));
    LogSuccess(remote, local);
    // The local copy is on disk (the download made sure), so the server's
    // copy may go. A failed deletion leaves it for the next run.
    if (Chkbrisi->isChecked() && !mFTP->DeleteFTPFile(remote))
        reportProblem(
            QStringLiteral("Status: izvorne datoteke %1 ni mogoče pobrisati: %2")
                .arg(remote, mFTP->GetLastErrorMessage()),
            diagnostics::fileText(remote, local, QStringLiteral("source not deleted: ") + mFTP->GetLastErrorMessage()));
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
}
