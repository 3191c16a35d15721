// One local file to the server, with up to three attempts.

#include <QFile>

#include "ftp/cftp.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

void FrmUpdate::upload()
{
    const Direction up{
        .status = QStringLiteral("Status: prenos na strežnik..."),
        .failedStatus = QStringLiteral("Status napaka:"),
        .pumpBeforePause = false,
        .transfer = &cFTP::FTPUploadFile,
        .localIsSource = true,
        .deleteSource =
            [](FrmUpdate &form, const QString &local, const QString &remote) {
                QFile source(local);
                if (!source.remove())
                    form.reportProblem(
                        QStringLiteral("Status: izvorne datoteke %1 ni mogoče pobrisati: %2")
                            .arg(local, source.errorString()),
                        diagnostics::fileText(local, remote, QStringLiteral("source not deleted: ") + source.errorString()));
            },
    };
    transferFile(up);
}
