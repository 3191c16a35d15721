// Mistakes in the settings and on the command line that the job still
// carries out as written, but that would cost files without a word: each
// is named once on standard error, as a warning.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include "settings/settings.h"
#include "settings/sitekeys.h"
#include "window/frmupdate.h"

namespace {
const QString Separator = QStringLiteral("/");
} // namespace

void FrmUpdate::checkSettingsFile()
{
    QFile file(mIniFile);
    if (!file.exists())
        warn(QStringLiteral("settings file %1 is missing; defaults apply").arg(mIniFile));
    else if (!file.open(QIODevice::ReadOnly))
        warn(QStringLiteral("settings file %1 cannot be read (%2); defaults apply").arg(mIniFile, file.errorString()));
}

// The site the job is about to use. A site chosen on the command line was
// taken as it stands; only one chosen by the settings file can have fallen
// back to the default server.
void FrmUpdate::checkSite(bool switched)
{
    if (!QFileInfo::exists(mIniFile))
        return; // said at load; everything else follows from it
    const std::optional<QStringList> keys = ReadSectionKeys(mSection, mIniFile);
    if (!switched) {
        if (isBlank(ReadSetting(QStringLiteral("PROGRAM"), QStringLiteral("IZBRANO"), mIniFile)))
            warn(QStringLiteral("no site selected: [PROGRAM] has no IZBRANO in %1; the default server is used")
                     .arg(mIniFile));
        else if (!keys)
            warn(QStringLiteral("IZBRANO names a section that %1 does not have; the default server is used")
                     .arg(mIniFile));
        else if (isBlank(ReadSetting(mSection, QStringLiteral("FTPURL"), mIniFile)))
            warn(QStringLiteral("the site has no FTPURL; the default server is used"));
    }
    for (const QString &key : keys.value_or(QStringList())) {
        const QString problem = unknownSiteKey(key);
        if (!problem.isEmpty())
            warn(problem);
    }
}

// The first command shows what the prefixes make of a name; the warning
// carries that path, and comes once whatever the number of commands.
void FrmUpdate::checkPrefixes(const QString &remotePath, const QString &localPath)
{
    const QString remoteDir = textDIR->text();
    const QString localDir = textLDIR->text();
    if (isPresent(remoteDir) && !remoteDir.endsWith(Separator))
        warn(QStringLiteral("ftpdir \"%1\" does not end with \"/\": names are appended to it as they are, as in \"%2\"")
                 .arg(remoteDir, remotePath),
             QStringLiteral("ftpdir"));
    if (isBlank(localDir)) {
        warn(QStringLiteral("localdir is empty: local files are taken from the working directory %1")
                 .arg(QDir::currentPath()),
             QStringLiteral("localdir"));
        return;
    }
    if (!localDir.endsWith(Separator))
        warn(QStringLiteral("localdir \"%1\" does not end with \"/\": names are appended to it as they are, as in "
                            "\"%2\"")
                 .arg(localDir, localPath),
             QStringLiteral("localdir/"));
    if (QDir::isRelativePath(localDir))
        warn(QStringLiteral("localdir \"%1\" is relative: it is taken from the working directory, as in \"%2\"")
                 .arg(localDir, QDir::current().absoluteFilePath(localPath)),
             QStringLiteral("localdir relative"));
}

// "quelmo site file.txt,DOWN": the blank after the site's name makes the
// whole line one pattern for the site from the settings file.
void FrmUpdate::checkCommandLine(const QString &token)
{
    const qsizetype blank = token.indexOf(QLatin1Char(' '));
    if (blank <= 0)
        return;
    const QString head = token.left(blank);
    if (isPresent(ReadSetting(head, QStringLiteral("FTPURL"), mIniFile)))
        warn(QStringLiteral("\"%1\" names a site, but a blank follows it instead of a comma: the whole command line "
                            "was taken as a transfer command for this site")
                 .arg(head));
}
