// The streamed transfers of cFTP: one file in 255-byte blocks, a progress
// event after every block and one when the file is done.

#include "ftp/cftp.h"

#include <QFile>

#include "ftp/localfile.h"
#include "platform/inet/errors.h"

namespace {

const QString PutOpenLabel = QStringLiteral("FtpOpenFile:PutFile");
const QString WriteLabel = QStringLiteral("InternetWriteFile");
const QString LastWriteLabel = QStringLiteral("InternetWriteFile2");
const QString GetOpenLabel = QStringLiteral("FtpOpenFile:GetFile");
const QString ReadLabel = QStringLiteral("InternetReadFile");
const QString LastReadLabel = QStringLiteral("InternetReadFile2");
const QString FindFirstLabel = QStringLiteral("FtpFindFirstFile");
const QString LocalLabel = QStringLiteral("LocalFile");

constexpr int UploadSettleMs = 1000;

// Only blanks are stripped, as the paths are written in the settings.
QString stripBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

int localErrorCode(const QFile &file)
{
    switch (file.error()) {
    case QFileDevice::OpenError:
        return file.exists() ? inet::ErrorAccessDenied : inet::ErrorFileNotFound;
    case QFileDevice::PermissionsError:
        return inet::ErrorAccessDenied;
    default:
        return inet::ErrorAccessDenied;
    }
}

// Reads exactly size bytes unless the data ends first; the count read, or
// -1 on failure.
qint64 readFully(inet::FtpFile &remote, char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = remote.read(data + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

} // namespace

// The window runs its events between blocks; whatever it does there must not
// pull the connection from under the transfer.
bool cFTP::transferStillOpen()
{
    if (hTransfer)
        return true;
    inet::setLastError(inet::ErrorConnectionAborted);
    return false;
}

bool cFTP::FTPUploadFile(QString &sLocal, QString &sRemote)
{
    sLocal = stripBlanks(sLocal);
    sRemote = stripBlanks(sRemote);
    if (sLocal.isEmpty() || sRemote.isEmpty())
        return false;

    // The local file is opened before the remote one, so that a missing
    // source never leaves an empty file on the server.
    LocalSource local(sLocal);
    if (!local.open())
        return failLocal(LocalLabel, sLocal, local.file().errorString(), localErrorCode(local.file()));

    inet::FtpConnection *c = connection();
    hTransfer = c ? c->openFile(sRemote, inet::FileAccess::Write, transferKind()) : nullptr;
    if (!hTransfer)
        return report(false, PutOpenLabel);

    const qint64 total = local.size();
    qint64 sent = 0;
    char block[TransferBlockBytes];

    auto fail = [&](const QString &label, bool deleteRemote) {
        FormatTransferError(inet::lastError(), label);
        hTransfer.reset();
        local.close();
        if (deleteRemote)
            DeleteFTPFile(sRemote);
        dropDeadConnection();
        pump();
        return false;
    };
    auto readLocal = [&](qint64 size) {
        if (local.read(block, size))
            return true;
        failLocal(LocalLabel, sLocal, QStringLiteral("the file ended before its size of %1 bytes").arg(total),
                  inet::ErrorAccessDenied);
        hTransfer.reset();
        dropDeadConnection();
        return false;
    };

    for (qint64 k = total / TransferBlockBytes; k > 0; --k) {
        if (!readLocal(TransferBlockBytes))
            return false;
        if (!hTransfer->write(block, TransferBlockBytes))
            return fail(WriteLabel, false);
        pump();
        sent += TransferBlockBytes;
        emit FileTransferProgress(sent, total);
        pump();
        if (!transferStillOpen())
            return fail(WriteLabel, false);
    }
    const qint64 rest = total - sent;
    if (rest > 0) {
        if (!readLocal(rest))
            return false;
        if (!hTransfer->write(block, rest))
            return fail(LastWriteLabel, true);
    }
    sent = total;
    emit FileTransferProgress(sent, total);

    local.close();
    emit transferNote(QStringLiteral("Konec."));
    pump();
    mSleep(UploadSettleMs);
    pump();
    pump();
    if (!transferStillOpen())
        return fail(LastWriteLabel, false);

    // Only the server's final reply says the file arrived whole; a refusal
    // there (disk full, aborted) must not pass for success, as the caller
    // may delete the only other copy next.
    if (!hTransfer->close())
        return fail(LastWriteLabel, true);
    hTransfer.reset();
    emit transferNote(QStringLiteral("INTERNET CLOSE"));
    pump();
    return true;
}

bool cFTP::FTPDownloadFile(QString &sLocal, QString &sRemote)
{
    sLocal = stripBlanks(sLocal);
    sRemote = stripBlanks(sRemote);
    if (sLocal.isEmpty() || sRemote.isEmpty())
        return false;

    const qint64 total = GetFTPFileSize(sRemote);
    pump();
    if (total == -1) {
        FormatTransferError(inet::ErrorNoMoreFiles, FindFirstLabel,
                            QStringLiteral("No file on the server matches %1\r\n").arg(sRemote));
        return false;
    }
    if (total < 0)
        return false;

    inet::FtpConnection *c = connection();
    hTransfer = c ? c->openFile(sRemote, inet::FileAccess::Read, transferKind()) : nullptr;
    pump();
    if (!hTransfer)
        return report(false, GetOpenLabel);

    // Truncated on opening: an older, longer file must not keep its tail.
    LocalTarget local(sLocal);
    if (!local.open()) {
        failLocal(LocalLabel, sLocal, local.file().errorString(), localErrorCode(local.file()));
        hTransfer.reset();
        dropDeadConnection();
        return false;
    }
    pump();
    pump();
    qint64 received = 0;
    pump();

    char block[TransferBlockBytes];
    auto fail = [&](const QString &label) {
        // A read that came back short means the data ended before the listed
        // size: the connection was cut, or the file shrank.
        FormatTransferError(inet::lastError(), label);
        local.close();
        hTransfer.reset();
        dropDeadConnection();
        return false;
    };
    auto failWrite = [&]() {
        failLocal(LocalLabel, sLocal, local.file().errorString(), inet::ErrorAccessDenied);
        local.close();
        hTransfer.reset();
        dropDeadConnection();
        return false;
    };
    auto readBlock = [&](qint64 size) {
        const qint64 n = readFully(*hTransfer, block, size);
        if (n >= 0 && n < size)
            inet::setLastError(inet::ErrorConnectionAborted);
        return n == size;
    };

    for (qint64 k = total / TransferBlockBytes; k > 0; --k) {
        if (!readBlock(TransferBlockBytes))
            return fail(ReadLabel);
        if (!local.write(block, TransferBlockBytes))
            return failWrite();
        pump();
        received += TransferBlockBytes;
        pump();
        emit FileTransferProgress(received, total);
        pump();
        pump();
        if (!transferStillOpen())
            return fail(ReadLabel);
    }
    const qint64 rest = total - received;
    if (rest > 0) {
        pump();
        if (!transferStillOpen() || !readBlock(rest))
            return fail(LastReadLabel);
        if (!local.write(block, rest))
            return failWrite();
        received += rest;
        pump();
        pump();
    }

    emit FileTransferProgress(received, total);
    pump();
    pump();
    if (!transferStillOpen())
        return fail(LastReadLabel);
    // The server must confirm the file, and the data must end where the
    // listing said it would.
    if (!hTransfer->close())
        return fail(LastReadLabel);
    hTransfer.reset();
    // On disk before we say so: the caller may delete the server's copy next.
    if (!local.commit())
        return failWrite();
    local.close();
    pump();
    pump();
    return true;
}
