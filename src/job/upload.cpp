// One local file to the server, with up to three attempts.

#include <QFile>

#include "ftp/cftp.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

void FrmUpdate::upload(const FileToMove &file)
{
    const Direction up{
        .status = QStringLiteral("Status: prenos na strežnik..."),
        .failedStatus = QStringLiteral("Status napaka:"),
        .pumpBeforePause = false,
        .sizeAhead = false,
        .transfer = &cFTP::PutFile,
        .localIsSource = true,
        // The server's copy has been verified (the upload made sure).
        .deleteSource =
            [](FrmUpdate &form, const QString &local, const QString &remote) {
                QFile source(local);
                if (source.remove())
                    return true;
                form.reportProblem(QStringLiteral("Status: izvorne datoteke %1 ni mogoče pobrisati: %2")
                                       .arg(local, source.errorString()),
                                   diagnostics::fileText(
                                       local, remote, QStringLiteral("source not deleted: ") + source.errorString()));
                return false;
            },
    };
    transferFile(up, file);
}
