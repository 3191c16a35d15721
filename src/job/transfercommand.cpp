// One transfer command: pattern, direction and delete option; every
// matching file is moved in turn, under its own name.

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
QStringList localFiles(const QString &pattern)
{
    const QFileInfo info(pattern);
    return info.dir().entryList(QStringList{info.fileName()}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

// "sub/" of "sub/*.zip": the folder the pattern is listed in, below the
// site's prefix. The files are taken from there; they arrive on the other
// side under their bare names.
QString folderPart(const QString &pattern)
{
    return pattern.left(pattern.lastIndexOf(QLatin1Char('/')) + 1);
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
// those left is shown a few times a second, when the window is shown anyway,
// and always when it runs out.
constexpr qint64 ListRefreshNs = 250'000'000;

} // namespace

void FrmUpdate::showRemaining(const QStringList &names, qsizetype next)
{
    mListPending = names;
    mListPendingFrom = next;
    if (next >= names.size())
        showPendingList();
}

void FrmUpdate::showPendingList()
{
    if (mListPendingFrom < 0)
        return;
    const qint64 now = coarseMonotonicNs();
    if (mListPendingFrom < mListPending.size() && now - mListShownNs < ListRefreshNs)
        return;
    Tdir->setPlainText(mListPending.mid(mListPendingFrom).join(QLatin1Char(',')));
    mListShownNs = now;
    mListPending.clear();
    mListPendingFrom = -1;
}

void FrmUpdate::showList(const QStringList &names)
{
    Tdir->setPlainText(names.join(QLatin1Char(',')));
    mListShownNs = coarseMonotonicNs();
    mListPending.clear();
    mListPendingFrom = -1;
}

void FrmUpdate::reconnectIfLost()
{
    if (!mFTP->isConnected())
        mFTP->OpenConnection(textURL->text(), mUser, mPassword);
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
    reconnectIfLost();
    const QString folder = folderPart(Text1->text());
    if (direction.toUpper() == QLatin1String("DOWN"))
        downloadMatches(folder);
    else
        uploadMatches(folder);
}

void FrmUpdate::downloadMatches(const QString &folder)
{
    const QString pattern = textDIR->text() + Text1->text();
    // A folder on the server matches like a file, but cannot be
    // downloaded as one; three failed attempts would end the whole job.
    const std::optional<QStringList> listed = mFTP->GetFTPNames(pattern, true);
    if (!listed) {
        // A listing that failed is not a folder without files: the
        // scheduler must hear of it, and the next command may still work.
        const QString why = mFTP->GetLastErrorMessage();
        reportProblem(QStringLiteral("Napaka: seznama datotek %1 ni mogoče dobiti: %2").arg(pattern, why),
                      QStringLiteral("%1: the listing failed: %2").arg(pattern, why));
        return;
    }
    const QStringList &names = *listed;
    showList(names);
    if (names.isEmpty() && isNamedFile(Text1->text()))
        finishMissing(false, pattern, textLDIR->text() + Text1->text(), QStringLiteral("no such file on the server"));
    for (qsizetype i = 0; i < names.size(); ++i) {
        download({names.at(i), textLDIR->text() + names.at(i), textDIR->text() + folder + names.at(i)});
        showRemaining(names, i + 1);
        mDesktop.pumpEvents();
    }
}

void FrmUpdate::uploadMatches(const QString &folder)
{
    // The whole list is made before the first upload, so the uploads
    // neither disturb the search nor add to it.
    const QStringList names = localFiles(textLDIR->text() + Text1->text());
    if (names.isEmpty() && isNamedFile(Text1->text()))
        finishMissing(true, textLDIR->text() + Text1->text(), textDIR->text() + Text1->text(),
                      QStringLiteral("no such local file"));
    showList(names);
    for (qsizetype i = 0;; ++i) {
        mDesktop.pumpEvents();
        if (i == names.size())
            break;
        upload({names.at(i), textLDIR->text() + folder + names.at(i), textDIR->text() + names.at(i)});
        showRemaining(names, i + 1);
    }
}
