// One transfer command: pattern, direction and delete option; every
// matching file is moved in turn.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "ftp/cftp.h"
#include "platform/coarseclock.h"
#include "platform/desktop.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

namespace {

// The ordinary files that match a local pattern, sorted by name: no
// folders, no hidden files. A folder part of the pattern names the folder
// that is searched.
QString localFiles(const QString &pattern)
{
    const QFileInfo info(pattern);
    QDir folder = info.dir();
    const QStringList names
        = folder.entryList(QStringList{info.fileName()}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    return names.join(QLatin1Char(','));
}

// Empty, DOWN and UP say what they mean; anything else uploads too, but is
// most likely a mistake.
bool isPlainDirection(const QString &direction)
{
    const QString upper = direction.toUpper();
    return upper.isEmpty() || upper == QLatin1String("DOWN") || upper == QLatin1String("UP");
}

// A pattern without wildcards names one file, which must be there; a
// wildcard that matches nothing just means there is nothing to do.
bool isNamedFile(const QString &pattern)
{
    return isPresent(pattern) && !pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?'));
}

// Laying out a list of a thousand names takes the window longer than moving
// a small file; while files go by faster than anyone can read, the list of
// those left is shown a few times a second and always when it runs out.
constexpr qint64 ListRefreshNs = 250'000'000;

} // namespace

void FrmUpdate::showRemaining(const QString &list)
{
    const qint64 now = coarseMonotonicNs();
    if (isPresent(list) && now - mListShownNs < ListRefreshNs)
        return;
    Tdir->setPlainText(list);
    mListShownNs = now;
}

void FrmUpdate::ftpprenos(QString &ukaz)
{
    const QString command = ukaz;
    Text1->setText(NextToken(ukaz));
    const QString direction = NextToken(ukaz);
    Chkbrisi->setChecked(ukaz.toUpper() == QLatin1String("DEL"));
    checkPrefixes(textDIR->text() + Text1->text(), textLDIR->text() + Text1->text());
    if (!isPlainDirection(direction)) {
        // A misspelt DOWN uploads: with DEL it would overwrite the server's
        // copies and then delete the local files.
        if (Chkbrisi->isChecked()) {
            reportError(QStringLiteral("transfer command \"%1\" not run: its direction \"%2\" is neither DOWN nor UP, "
                                       "and with DEL the upload would delete the local files")
                            .arg(command, direction));
            return;
        }
        warn(QStringLiteral("transfer command \"%1\": direction \"%2\" is neither DOWN nor UP; uploading")
                 .arg(command, direction));
    }

    if (direction.toUpper() == QLatin1String("DOWN")) {
        const QString pattern = textDIR->text() + Text1->text();
        // A folder on the server matches like a file, but cannot be
        // downloaded as one; three failed attempts would end the whole job.
        Tdir->setPlainText(mFTP->GetFTPdir(pattern, true));
        mListShownNs = coarseMonotonicNs();
        QString list = Tdir->toPlainText();
        if (isBlank(list) && isNamedFile(Text1->text()))
            reportFileError(pattern, textLDIR->text() + Text1->text(), QStringLiteral("no such file on the server"));
        while (isPresent(list)) {
            Textimedat->setText(NextToken(list));
            download();
            showRemaining(list);
            mDesktop.pumpEvents();
        }
    } else {
        // The whole list is made before the first upload, so the uploads
        // neither disturb the search nor add to it.
        QString list = localFiles(textLDIR->text() + Text1->text());
        if (isBlank(list) && isNamedFile(Text1->text()))
            reportFileError(textLDIR->text() + Text1->text(), textDIR->text() + Text1->text(),
                            QStringLiteral("no such local file"));
        Tdir->setPlainText(list);
        mListShownNs = coarseMonotonicNs();
        for (;;) {
            mDesktop.pumpEvents();
            if (isBlank(list))
                break;
            Textimedat->setText(NextToken(list));
            upload();
            showRemaining(list);
        }
    }
}
