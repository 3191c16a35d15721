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

// The names of the matching entries, in the server's order. Nothing
// matching is an empty list, not a failure.
inet::Result<QStringList> matchingNames(inet::FtpConnection *connection, const QString &pattern, bool filesOnly)
{
    if (!connection)
        return NotConnected;
    const auto search = connection->findFirstFile(pattern);
    if (!search) {
        if (search.failure().code == inet::ErrorNoMoreFiles)
            return QStringList();
        return search.failure();
    }
    QStringList names;
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
    return sizeOrCode(hConnection ? hConnection->fileSize(sFile) : inet::Result<qint64>(NotConnected));
}

qint64 cFTP::sizeOrCode(const inet::Result<qint64> &size)
{
    if (size)
        return *size;
    if (size.failure().code == inet::ErrorNoMoreFiles)
        return -1;
    failWith(size.failure(), FindFirstLabel);
    return -2;
}

void cFTP::AskFileSizeAhead(const QString &sRemote)
{
    mSizeAhead.reset();
    if (hConnection)
        mSizeAhead.emplace(sRemote, hConnection->fileSize(sRemote));
}

void cFTP::PrepareTransferAhead()
{
    if (hConnection && !hTransfer)
        hConnection->prepareTransfer(transferKind());
}

inet::Result<qint64> cFTP::takeFileSize(const QString &path)
{
    std::optional<std::pair<QString, inet::Result<qint64>>> ahead;
    ahead.swap(mSizeAhead);
    if (ahead && ahead->first == path)
        return ahead->second;
    return hConnection ? hConnection->fileSize(path) : inet::Result<qint64>(NotConnected);
}

QString cFTP::GetFTPdir(const QString &sFile, bool filesOnly)
{
    const inet::Result<QStringList> names = matchingNames(hConnection.get(), sFile, filesOnly);
    dropDeadConnection();
    return names ? names->join(QLatin1Char(',')) : QString();
}

std::optional<QStringList> cFTP::GetFTPNames(const QString &sPattern, bool filesOnly)
{
    inet::Result<QStringList> names = matchingNames(hConnection.get(), sPattern, filesOnly);
    if (!names) {
        failWith(names.failure(), FindFirstLabel);
        return std::nullopt;
    }
    dropDeadConnection();
    return std::move(*names);
}
