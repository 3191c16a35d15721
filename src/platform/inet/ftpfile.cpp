#include "platform/inet/ftpfile.h"

#include <QCoreApplication>
#include <QSslSocket>

#include <cstring>

#include "platform/inet/link.h"
#include "platform/inet/socket.h"
#include "platform/inet/tls.h"

namespace inet {

namespace {

// The socket sees blocks of this size, whatever the caller's block is.
constexpr qint64 BlockBytes = 256 * 1024;
// Written data may queue in the socket up to this much before we wait for
// the kernel to take it, which keeps memory flat on fast and slow links.
constexpr qint64 WriteHighWater = 1024 * 1024;
// How long an abandoned transfer waits for the server's closing reply.
constexpr int AbandonReplyMs = 2000;
// How often a wait for data looks whether the server has ended it.
constexpr int WaitSliceMs = 10;

} // namespace

FtpFile::FtpFile(ConnectionLink &link, std::unique_ptr<QSslSocket> data, FileAccess access)
    : mLink(link), mData(std::move(data)), mAccess(access)
{
    // Bounded so that a fast server cannot fill our memory while the caller
    // is slow.
    mData->setReadBufferSize(4 * BlockBytes);
    // Qt says so only once, and a later timeout of a wait takes the
    // socket's error over; so the server's close is kept here.
    QObject::connect(mData.get(), &QAbstractSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            mServerClosed = true;
    });
    if (mAccess == FileAccess::Write)
        mBuffer.reserve(BlockBytes);
}

FtpFile::~FtpFile()
{
    if (!mFinished)
        abandon();
    mLink.release();
}

qint64 FtpFile::read(char *data, qint64 size)
{
    const Result<qint64> n = published(readSome(data, size));
    return n ? *n : -1;
}

bool FtpFile::write(const char *data, qint64 size)
{
    return published(writeAll(data, size)).ok();
}

bool FtpFile::close()
{
    return published(finish()).ok();
}

Status FtpFile::fill()
{
    mBufferPos = 0;
    for (;;) {
        mBuffer.resize(BlockBytes);
        const qint64 got = mData->read(mBuffer.data(), BlockBytes);
        if (got > 0) {
            mBuffer.resize(got);
            return {};
        }
        mBuffer.clear();
        if (takeDecrypted())
            continue;
        if (got < 0 || !dataMayFollow()) {
            mEndOfData = true;
            return {};
        }
        if (!waitForData()) {
            if (mData->bytesAvailable() > 0)
                continue;
            if (!dataMayFollow()) {
                mEndOfData = true;
                return {};
            }
            return Failure{ErrorTimeout};
        }
    }
}

// An encrypted socket decrypts what has arrived in a call that it queues
// for the event loop whenever its reader empties it. A transfer that waits
// runs no event loop, and Qt's own wait does not decrypt either: with both
// of the socket's buffers full, it would wait for news from the network
// that cannot come in until somebody decrypts. So the queued call is run
// here, for this socket alone (the window's events are not let in). True
// when that brought data.
bool FtpFile::takeDecrypted()
{
    if (!mData->isEncrypted())
        return false;
    QCoreApplication::sendPostedEvents(mData.get(), QEvent::MetaCall);
    return mData->bytesAvailable() > 0;
}

// The server has said its last word when it closed the connection, or,
// encrypted, when it sent its close_notify (Qt reports that as the remote
// host closing, while the connection itself stays open).
bool FtpFile::dataMayFollow() const
{
    return mData->state() == QAbstractSocket::ConnectedState && !mServerClosed;
}

// Qt's wait for data on an encrypted socket goes on past the server's
// close_notify until the connection closes, which a server that waits for
// our own close_notify never does. So the wait is cut into slices, and the
// close looked for in between.
bool FtpFile::waitForData()
{
    const QDeadlineTimer deadline(mLink.timeoutMs());
    do {
        if (mData->waitForReadyRead(qMin(WaitSliceMs, remainingMs(deadline))) || takeDecrypted())
            return true;
        if (mData->bytesAvailable() > 0 || !dataMayFollow())
            return false;
    } while (!deadline.hasExpired());
    return false;
}

Result<qint64> FtpFile::readSome(char *data, qint64 size)
{
    if (mAccess != FileAccess::Read || mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (mBufferPos >= mBuffer.size()) {
        if (mEndOfData)
            return 0;
        if (const Status filled = fill(); !filled)
            return filled.failure();
        if (mEndOfData)
            return 0;
    }
    const qint64 n = qMin(size, mBuffer.size() - mBufferPos);
    std::memcpy(data, mBuffer.constData() + mBufferPos, static_cast<size_t>(n));
    mBufferPos += n;
    return n;
}

Status FtpFile::flush(qint64 highWater)
{
    if (!mBuffer.isEmpty()) {
        if (mData->write(mBuffer) != mBuffer.size())
            return Failure{ErrorConnectionAborted};
        // The socket keeps the block it was given; a fresh one, reserved
        // whole, spares growing it again 255 bytes at a time.
        mBuffer = QByteArray();
        mBuffer.reserve(BlockBytes);
    }
    while (unsent() > highWater) {
        if (!mData->waitForBytesWritten(mLink.timeoutMs()))
            return Failure{mData->error() == QAbstractSocket::SocketTimeoutError ? ErrorTimeout
                                                                                 : ErrorConnectionAborted};
    }
    return {};
}

// What the socket still holds of our data. An encrypted socket counts only
// what it has not encrypted yet as bytes to write; what it has encrypted
// waits in a buffer of its own, which would otherwise grow without bound
// and go out only when Qt's events run.
qint64 FtpFile::unsent() const
{
    return mData->bytesToWrite() + (mData->isEncrypted() ? mData->encryptedBytesToWrite() : 0);
}

Status FtpFile::writeAll(const char *data, qint64 size)
{
    if (mAccess != FileAccess::Write || mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (mData->state() != QAbstractSocket::ConnectedState)
        return Failure{ErrorConnectionAborted};
    mBuffer.append(data, size);
    if (mBuffer.size() >= BlockBytes)
        return flush(WriteHighWater);
    return {};
}

Status FtpFile::finish()
{
    if (mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (const Status ended = mAccess == FileAccess::Write ? endUpload() : endDownload(); !ended) {
        abandon();
        return ended;
    }
    mFinished = true;
    const Result<Reply> reply = mLink.finalReply();
    if (!reply)
        return reply.failure();
    if (!reply->positiveCompletion())
        return reply->failure();
    return {};
}

Status FtpFile::endUpload()
{
    if (const Status flushed = flush(0); !flushed)
        return flushed;
    // The server knows the file is complete when our side closes; over TLS
    // only when it closes cleanly.
    if (mData->isEncrypted())
        return closeEncrypted(*mData, QDeadlineTimer(mLink.timeoutMs()));
    mData->disconnectFromHost();
    if (mData->state() != QAbstractSocket::UnconnectedState && !mData->waitForDisconnected(mLink.timeoutMs())
        && mData->state() != QAbstractSocket::UnconnectedState)
        return Failure{ErrorTimeout};
    return {};
}

Status FtpFile::endDownload()
{
    // The data must end where the caller stopped: more of it means the file
    // on the server is not the one the caller counted on.
    if (mBufferPos < mBuffer.size())
        return Failure{ErrorInvalidServerResponse};
    if (!mEndOfData) {
        if (const Status filled = fill(); !filled)
            return filled;
        if (!mEndOfData)
            return Failure{ErrorInvalidServerResponse};
    }
    mData->abort();
    return {};
}

void FtpFile::abandon()
{
    mFinished = true;
    mData->abort();
    mLink.resynchronize(AbandonReplyMs);
}

} // namespace inet
