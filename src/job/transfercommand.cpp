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
    Text1->setText(NextToken(ukaz));
    const QString direction = NextToken(ukaz);
    Chkbrisi->setChecked(ukaz.toUpper() == QLatin1String("DEL"));

    if (direction.toUpper() == QLatin1String("DOWN")) {
        const QString pattern = textDIR->text() + Text1->text();
        // A folder on the server matches like a file, but cannot be
        // downloaded as one; three failed attempts would end the whole job.
        Tdir->setPlainText(mFTP->GetFTPdir(pattern, true));
        mListShownNs = coarseMonotonicNs();
        QString list = Tdir->toPlainText();
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
