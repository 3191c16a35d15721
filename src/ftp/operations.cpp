// The single-call operations of cFTP and its searches.

#include "ftp/cftp.h"

#include "platform/inet/errors.h"

namespace {

// Each failure text names the call that failed by one of these.
const QString SimplePutLabel = QStringLiteral("SimpleFtpPutFile");
const QString SimpleGetLabel = QStringLiteral("SimpleFtpGetFile");
const QString RenameLabel = QStringLiteral("RenameFTPFile");
const QString CreateDirLabel = QStringLiteral("CreateFTPDirectory");
const QString RemoveDirLabel = QStringLiteral("RemoveFTPDirectory");
const QString DeleteLabel = QStringLiteral("DeleteFTPFile");
const QString GetDirLabel = QStringLiteral("FtpGetCurrentDirectory");
const QString SetDirLabel = QStringLiteral("FtpSetCurrentDirectory");
const QString FindFirstLabel = QStringLiteral("FtpFindFirstFile");

// An operation asked of an object that holds no connection.
const inet::Failure NotConnected{inet::ErrorIncorrectHandleState};

// The size the server lists for the one entry the name matches first.
inet::Result<qint64> listedSize(inet::FtpConnection *connection, const QString &name)
{
    if (!connection)
        return NotConnected;
    const auto search = connection->findFirstFile(name);
    if (!search)
        return search.failure();
    const qint64 size = (*search)->current().size;
    // A listing line without a size (a device file, a sparse MLSD fact set)
    // tells us nothing we could check a download against.
    if (size < 0)
        return inet::Failure{inet::ErrorInvalidServerResponse};
    return size;
}

// The names of the matching entries, in the server's order.
QStringList matchingNames(inet::FtpConnection *connection, const QString &pattern, bool filesOnly)
{
    QStringList names;
    const auto search = connection ? connection->findFirstFile(pattern) : NotConnected;
    if (!search)
        return names;
    do {
        const inet::RemoteEntry &entry = (*search)->current();
        if (!(filesOnly && entry.isDirectory))
            names.append(entry.name);
    } while ((*search)->next());
    return names;
}

} // namespace

bool cFTP::SimpleFTPPutFile(const QString &sLocal, const QString &sRemote)
{
    return report(hConnection ? hConnection->putFile(sLocal, sRemote, transferKind()) : NotConnected, SimplePutLabel);
}

bool cFTP::SimpleFTPGetFile(const QString &sLocal, const QString &sRemote)
{
    return report(hConnection ? hConnection->getFile(sRemote, sLocal, transferKind()) : NotConnected, SimpleGetLabel);
}

bool cFTP::RenameFTPFile(const QString &sExisting, const QString &sNewName)
{
    return report(hConnection ? hConnection->renameFile(sExisting, sNewName) : NotConnected, RenameLabel);
}

bool cFTP::CreateFTPDirectory(const QString &sDirectory)
{
    return report(hConnection ? hConnection->createDirectory(sDirectory) : NotConnected, CreateDirLabel);
}

bool cFTP::RemoveFTPDirectory(const QString &sDirectory)
{
    return report(hConnection ? hConnection->removeDirectory(sDirectory) : NotConnected, RemoveDirLabel);
}

bool cFTP::DeleteFTPFile(const QString &sRemote)
{
    return report(hConnection ? hConnection->deleteFile(sRemote) : NotConnected, DeleteLabel);
}

bool cFTP::SetFTPDirectory(const QString &sDir)
{
    return report(hConnection ? hConnection->setCurrentDirectory(sDir) : NotConnected, SetDirLabel);
}

QString cFTP::GetFTPDirectory()
{
    const inet::Result<QString> directory
        = hConnection ? hConnection->currentDirectory() : inet::Result<QString>(NotConnected);
    if (directory)
        return *directory;
    failWith(directory.failure(), GetDirLabel);
    return QString();
}

qint64 cFTP::GetFTPFileSize(const QString &sFile)
{
    const inet::Result<qint64> size = listedSize(hConnection.get(), sFile);
    if (size)
        return *size;
    if (size.failure().code == inet::ErrorNoMoreFiles)
        return -1;
    failWith(size.failure(), FindFirstLabel);
    return -2;
}

QString cFTP::GetFTPdir(const QString &sFile, bool filesOnly)
{
    const QStringList names = matchingNames(hConnection.get(), sFile, filesOnly);
    dropDeadConnection();
    return names.join(QLatin1Char(','));
}
