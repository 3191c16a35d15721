// One local file to the server, with up to three attempts.

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/exitcode.h"
#include "platform/desktop.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

void FrmUpdate::upload()
{
    QString remote = textDIR->text() + Textimedat->text();
    QString local = textLDIR->text() + Textimedat->text();
    mStartTime = static_cast<float>(mDesktop.timer());

    const QString status = QStringLiteral("Status: prenos na strežnik...");
    Label3->setText(status);
    mFTP->SetFTPDirectory(QStringLiteral("/"));
    mDesktop.sleep(100);

    if (!tryThreeTimes(status, [&] { return mFTP->FTPUploadFile(local, remote); })) {
        Label3->setText(QStringLiteral("Status napaka:") + mFTP->GetLastErrorMessage());
        LogFailure(local, remote, mFTP->GetLastErrorMessage());
        reportFileError(local, remote, mFTP->GetLastErrorMessage());
        mDesktop.sleep(5000);
        mDesktop.endProgram(ExitCode::FileFailed);
    }

    Label3->setText(QStringLiteral("Status: Prenos je končan."));
    LogSuccess(local, remote);
    if (Chkbrisi->isChecked()) {
        QFile source(local);
        if (!source.remove())
            reportProblem(
                QStringLiteral("Status: izvorne datoteke %1 ni mogoče pobrisati: %2").arg(local, source.errorString()),
                diagnostics::fileText(local, remote, QStringLiteral("source not deleted: ") + source.errorString()));
    }
    mDesktop.pumpEvents();
    mDesktop.pumpEvents();
}
