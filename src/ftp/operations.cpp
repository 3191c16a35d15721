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

} // namespace

bool cFTP::SimpleFTPPutFile(const QString &sLocal, const QString &sRemote)
{
    inet::FtpConnection *c = connection();
    return report(c && c->putFile(sLocal, sRemote, transferKind()), SimplePutLabel);
}

bool cFTP::SimpleFTPGetFile(const QString &sLocal, const QString &sRemote)
{
    inet::FtpConnection *c = connection();
    return report(c && c->getFile(sRemote, sLocal, transferKind()), SimpleGetLabel);
}

bool cFTP::RenameFTPFile(const QString &sExisting, const QString &sNewName)
{
    inet::FtpConnection *c = connection();
    return report(c && c->renameFile(sExisting, sNewName), RenameLabel);
}

bool cFTP::CreateFTPDirectory(const QString &sDirectory)
{
    inet::FtpConnection *c = connection();
    return report(c && c->createDirectory(sDirectory), CreateDirLabel);
}

bool cFTP::RemoveFTPDirectory(const QString &sDirectory)
{
    inet::FtpConnection *c = connection();
    return report(c && c->removeDirectory(sDirectory), RemoveDirLabel);
}

bool cFTP::DeleteFTPFile(const QString &sRemote)
{
    inet::FtpConnection *c = connection();
    return report(c && c->deleteFile(sRemote), DeleteLabel);
}

bool cFTP::SetFTPDirectory(const QString &sDir)
{
    inet::FtpConnection *c = connection();
    return report(c && c->setCurrentDirectory(sDir), SetDirLabel);
}

QString cFTP::GetFTPDirectory()
{
    QString directory;
    inet::FtpConnection *c = connection();
    if (c && c->currentDirectory(directory))
        return directory;
    report(false, GetDirLabel);
    return QString();
}

qint64 cFTP::GetFTPFileSize(const QString &sFile)
{
    inet::FtpConnection *c = connection();
    std::unique_ptr<inet::FtpSearch> search = c ? c->findFirstFile(sFile) : nullptr;
    if (search) {
        const qint64 size = search->current().size;
        if (size >= 0)
            return size;
        // A listing line without a size (a device file, a sparse MLSD fact
        // set) tells us nothing we could check a download against.
        inet::setLastError(inet::ErrorInvalidServerResponse);
    }
    if (inet::lastError() == inet::ErrorNoMoreFiles)
        return -1;
    FormatTransferError(inet::lastError(), FindFirstLabel);
    search.reset();
    dropDeadConnection();
    return -2;
}

QString cFTP::GetFTPdir(const QString &sFile, bool filesOnly)
{
    inet::FtpConnection *c = connection();
    std::unique_ptr<inet::FtpSearch> search = c ? c->findFirstFile(sFile) : nullptr;
    QStringList names;
    if (search) {
        do {
            const inet::RemoteEntry &entry = search->current();
            if (!(filesOnly && entry.isDirectory))
                names.append(entry.name.mid(entry.name.lastIndexOf(QLatin1Char('/')) + 1));
        } while (search->next());
    }
    search.reset();
    dropDeadConnection();
    return names.join(QLatin1Char(','));
}
