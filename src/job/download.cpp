// One server file into the local folder, with up to three attempts.

#include "ftp/cftp.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

void FrmUpdate::download(const FileToMove &file)
{
    const Direction down{
        .status = QStringLiteral("Status: prenos iz strežnika..."),
        .failedStatus = QStringLiteral("Status napaka: "),
        .pumpBeforePause = true,
        .sizeAhead = true,
        .transfer = &cFTP::GetFile,
        .localIsSource = false,
        // The local copy is on disk under its own name (the download made
        // sure), so the server's copy may go. A failed deletion leaves it
        // for the next run.
        .deleteSource =
            [](FrmUpdate &form, const QString &remote, const QString &local) {
                if (form.mFTP->DeleteFTPFile(remote))
                    return true;
                form.reportProblem(
                    QStringLiteral("Status: izvorne datoteke %1 ni mogoče pobrisati: %2")
                        .arg(remote, form.mFTP->GetLastErrorMessage()),
                    diagnostics::fileText(remote, local,
                                          QStringLiteral("source not deleted: ") + form.mFTP->GetLastErrorMessage()));
                return false;
            },
    };
    transferFile(down, file);
}
