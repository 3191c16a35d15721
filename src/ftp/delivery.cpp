// The delivery policy: what a file must pass between the end of its
// transfer and its success, and what happens to a copy that does not pass.
// Only a file that passes may replace an older local copy, or have its
// source deleted by the job.

#include "ftp/delivery.h"

#include <QStringList>

#include "ftp/cftp.h"
#include "ftp/localfile.h"
#include "platform/inet/errors.h"
#include "platform/secretmask.h"

namespace {

const QString VerifyLabel = QStringLiteral("Verify");
const QString RenameLabel = QStringLiteral("RenameFTPFile");
// The longest file name most file systems, local or remote, take.
constexpr qsizetype MaxNameBytes = 255;
const QString PartSuffix = QStringLiteral(".part");

} // namespace

namespace delivery {

QString temporaryPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const QString plain = QLatin1Char('.') + name + PartSuffix;
    if (plain.toUtf8().size() <= MaxNameBytes)
        return folder + plain;
    const QString digest
        = QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(12));
    const QString tail = QLatin1Char('~') + digest + PartSuffix;
    QString start = name;
    while ((QLatin1Char('.') + start + tail).toUtf8().size() > MaxNameBytes
           || (!start.isEmpty() && start.back().isHighSurrogate()))
        start.chop(1);
    return folder + QLatin1Char('.') + start + tail;
}

QCryptographicHash::Algorithm localAlgorithm(inet::HashAlgorithm algorithm)
{
    switch (algorithm) {
    case inet::HashAlgorithm::Sha256:
        return QCryptographicHash::Sha256;
    case inet::HashAlgorithm::Sha1:
        return QCryptographicHash::Sha1;
    case inet::HashAlgorithm::Md5:
        return QCryptographicHash::Md5;
    }
    return QCryptographicHash::Sha256;
}

} // namespace delivery

bool cFTP::prepareHash(const QString &label, std::optional<inet::HashMethod> &method)
{
    method.reset();
    // A text transfer changes line ends on the way: neither its size nor
    // its hash can match the server's.
    if (mPolicy.verify != DeliveryPolicy::Verify::Hash || lTransferType != FTP_TRANSFER_TYPE_BINARY)
        return true;
    inet::FtpConnection *c = connection();
    if (!c)
        return report(false, label);
    const inet::Result<std::optional<inet::HashMethod>> offered = c->hashMethod();
    if (!offered) {
        failWith(offered.failure(), label);
        return false;
    }
    method = *offered;
    mDelivery.hashUnavailable = !method;
    return true;
}

bool cFTP::verifyUpload(const LocalSource &local, const QString &stored, const std::optional<inet::HashMethod> &hash)
{
    // A producer that is still writing the file: what arrived is a piece of
    // it, whatever the server says about it.
    if (const QString change = local.changeSinceOpen(); !change.isEmpty())
        return rejectDelivery(
            QStringLiteral("the local file %1 changed while it was sent: %2").arg(local.file().fileName(), change),
            stored);

    QStringList passed;
    inet::FtpConnection *c = connection();
    if (lTransferType == FTP_TRANSFER_TYPE_BINARY && c) {
        const inet::Result<qint64> size = takeFileSize(stored);
        if (size && *size != local.size())
            return rejectDelivery(QStringLiteral("the server has %1 bytes of %2, but %3 were sent")
                                      .arg(*size)
                                      .arg(stored)
                                      .arg(local.size()),
                                  stored);
        if (size)
            passed.append(QStringLiteral("size"));
        else if (size.failure().code == inet::ErrorNoMoreFiles)
            return rejectDelivery(QStringLiteral("the server has no file %1 after storing it").arg(stored));
        // A fact set without a size is a server that gives none: the final
        // reply is all there is to go by. Anything else is a failure.
        else if (size.failure().code != inet::ErrorInvalidServerResponse || !size.failure().reply.isEmpty()) {
            failWith(size.failure(), VerifyLabel);
            return false;
        }
    }
    if (hash && c) {
        const inet::Result<QString> remote = c->fileHash(stored, *hash);
        if (!remote) {
            failWith(remote.failure(), VerifyLabel);
            return false;
        }
        if (*remote != local.hash())
            return rejectDelivery(QStringLiteral("the %1 of %2 on the server is %3, but the file sent has %4")
                                      .arg(inet::hashName(hash->algorithm), stored, *remote, local.hash()),
                                  stored);
        passed.append(inet::hashName(hash->algorithm));
    }
    mDelivery.bytes = local.size();
    mDelivery.verification = passed.isEmpty() ? QStringLiteral("reply") : passed.join(QStringLiteral(", "));
    return true;
}

bool cFTP::placeUpload(const QString &stored, const QString &sRemote)
{
    if (stored == sRemote)
        return true;
    const inet::Status renamed = hConnection ? hConnection->renameFile(stored, sRemote)
                                             : inet::Status(inet::Failure{inet::ErrorIncorrectHandleState});
    if (renamed)
        return true;
    // The server's own words say why; the temporary file must not stay.
    FormatTransferError(renamed.failure(), RenameLabel);
    if (hConnection)
        static_cast<void>(hConnection->deleteFile(stored));
    dropDeadConnection();
    return false;
}

bool cFTP::verifyDownload(const LocalTarget &local, const QString &sRemote, qint64 bytes,
                          const std::optional<inet::HashMethod> &hash)
{
    // The size was checked on the way: the data ended where the server said
    // it would, and the server confirmed the transfer.
    QStringList passed{QStringLiteral("size")};
    if (hash) {
        inet::FtpConnection *c = connection();
        const inet::Result<QString> remote
            = c ? c->fileHash(sRemote, *hash) : inet::Result<QString>(inet::Failure{inet::ErrorIncorrectHandleState});
        if (!remote) {
            failWith(remote.failure(), VerifyLabel);
            return false;
        }
        if (*remote != local.hash())
            return rejectDelivery(QStringLiteral("the %1 of %2 on the server is %3, but the file received has %4")
                                      .arg(inet::hashName(hash->algorithm), sRemote, *remote, local.hash()));
        passed.append(inet::hashName(hash->algorithm));
    }
    mDelivery.bytes = bytes;
    mDelivery.verification = passed.join(QStringLiteral(", "));
    return true;
}

bool cFTP::rejectDelivery(const QString &text, const QString &remoteCopy)
{
    sLastError = maskSecret(QStringLiteral("Verification failed: ") + text + QStringLiteral("\r\n"), sSecret,
                            QStringLiteral("********"));
    // A copy that did not pass must not be taken for the file by whoever
    // looks at the server next; the attempt after this one sends it anew.
    if (!remoteCopy.isEmpty() && hConnection)
        static_cast<void>(hConnection->deleteFile(remoteCopy));
    dropDeadConnection();
    return false;
}
