#include "ftp/names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace names {

namespace {

// The longest name and path the file system under localPath takes.
bool fitsLocally(const QString &name, const QString &localPath)
{
    const QString folder = QFileInfo(localPath).absolutePath();
    const QByteArray encodedFolder = QFile::encodeName(folder);
    long nameMax = ::pathconf(encodedFolder.constData(), _PC_NAME_MAX);
    if (nameMax <= 0)
        nameMax = NAME_MAX;
    return QFile::encodeName(name).size() <= nameMax
           && QFile::encodeName(QFileInfo(localPath).absoluteFilePath()).size() < PATH_MAX;
}

} // namespace

Problem check(const QString &name, const QString &localPath, bool writtenLocally)
{
    if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')) || name.contains(QChar(0)))
        return Problem::LineBreak;
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return Problem::DotName;
    if (name.contains(QLatin1Char('/')))
        return Problem::Separator;
    // Bytes that were not UTF-8 arrive as U+FFFD; a lone surrogate cannot
    // be written as UTF-8 at all.
    if (name.contains(QChar::ReplacementCharacter) || QString::fromUtf8(name.toUtf8()) != name)
        return Problem::NotEncodable;
    if (writtenLocally && !fitsLocally(name, localPath))
        return Problem::TooLong;
    return Problem::None;
}

QString describe(Problem problem)
{
    switch (problem) {
    case Problem::None:
        break;
    case Problem::LineBreak:
        return QStringLiteral("the name holds a line break or a NUL, which cannot be sent to the server");
    case Problem::DotName:
        return QStringLiteral("the name is \".\" or \"..\"");
    case Problem::Separator:
        return QStringLiteral("the name holds a \"/\"");
    case Problem::NotEncodable:
        return QStringLiteral("the name is not valid UTF-8, so it cannot be named again as it is");
    case Problem::TooLong:
        return QStringLiteral("the name is too long for the local file system");
    }
    return QString();
}

bool liesIn(const QString &prefix, const QString &path)
{
    const QString folder = QDir::cleanPath(QFileInfo(prefix + QLatin1Char('x')).absolutePath());
    return QDir::cleanPath(QFileInfo(path).absolutePath()) == folder;
}

} // namespace names
