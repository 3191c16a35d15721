#include "platform/inet/ftpfile.h"

#include <QDeadlineTimer>
#include <QSslSocket>

#include <cstring>

#include "platform/inet/errors.h"
#include "platform/inet/ftpconnection.h"

namespace inet {

namespace {

// The socket sees blocks of this size, whatever the caller's block is.
constexpr qint64 BlockBytes = 256 * 1024;
// Written data may queue in the socket up to this much before we wait for
// the kernel to take it, which keeps memory flat on fast and slow links.
constexpr qint64 WriteHighWater = 1024 * 1024;
// How long an abandoned transfer waits for the server's closing reply.
constexpr int AbandonReplyMs = 2000;

} // namespace

FtpFile::FtpFile(FtpConnection &connection, std::unique_ptr<QSslSocket> data, FileAccess access)
    : mConnection(connection), mData(std::move(data)), mAccess(access)
{
    mConnection.setBusy(true);
    // Bounded so that a fast server cannot fill our memory while the caller
    // is slow.
    mData->setReadBufferSize(4 * BlockBytes);
    if (mAccess == FileAccess::Write)
        mBuffer.reserve(BlockBytes);
}

FtpFile::~FtpFile()
{
    if (!mFinished)
        abandon();
    mConnection.setBusy(false);
}

bool FtpFile::fill()
{
    mBufferPos = 0;
    const int timeout = mConnection.control().timeoutMs();
    for (;;) {
        mBuffer.resize(BlockBytes);
        const qint64 got = mData->read(mBuffer.data(), BlockBytes);
        if (got > 0) {
            mBuffer.resize(got);
            return true;
        }
        mBuffer.clear();
        if (got < 0 || mData->state() != QAbstractSocket::ConnectedState) {
            mEndOfData = true;
            return true;
        }
        if (!mData->waitForReadyRead(timeout)) {
            if (mData->bytesAvailable() > 0)
                continue;
            if (mData->state() != QAbstractSocket::ConnectedState
                || mData->error() == QAbstractSocket::RemoteHostClosedError) {
                mEndOfData = true;
                return true;
            }
            setLastError(ErrorTimeout);
            return false;
        }
    }
}

qint64 FtpFile::read(char *data, qint64 size)
{
    if (mAccess != FileAccess::Read || mFinished) {
        setLastError(ErrorIncorrectHandleState);
        return -1;
    }
    if (mBufferPos >= mBuffer.size()) {
        if (mEndOfData)
            return 0;
        if (!fill())
            return -1;
        if (mEndOfData)
            return 0;
    }
    const qint64 n = qMin(size, mBuffer.size() - mBufferPos);
    std::memcpy(data, mBuffer.constData() + mBufferPos, static_cast<size_t>(n));
    mBufferPos += n;
    return n;
}

bool FtpFile::flush(qint64 highWater)
{
    if (!mBuffer.isEmpty()) {
        if (mData->write(mBuffer) != mBuffer.size()) {
            setLastError(ErrorConnectionAborted);
            return false;
        }
        // The socket keeps the block it was given; a fresh one, reserved
        // whole, spares growing it again 255 bytes at a time.
        mBuffer = QByteArray();
        mBuffer.reserve(BlockBytes);
    }
    const int timeout = mConnection.control().timeoutMs();
    while (mData->bytesToWrite() > highWater) {
        if (!mData->waitForBytesWritten(timeout)) {
            setLastError(mData->error() == QAbstractSocket::SocketTimeoutError ? ErrorTimeout : ErrorConnectionAborted);
            return false;
        }
    }
    return true;
}

bool FtpFile::write(const char *data, qint64 size)
{
    if (mAccess != FileAccess::Write || mFinished) {
        setLastError(ErrorIncorrectHandleState);
        return false;
    }
    if (mData->state() != QAbstractSocket::ConnectedState) {
        setLastError(ErrorConnectionAborted);
        return false;
    }
    mBuffer.append(data, size);
    if (mBuffer.size() >= BlockBytes)
        return flush(WriteHighWater);
    return true;
}

bool FtpFile::close()
{
    if (mFinished) {
        setLastError(ErrorIncorrectHandleState);
        return false;
    }
    const int timeout = mConnection.control().timeoutMs();
    if (mAccess == FileAccess::Write) {
        if (!flush(0)) {
            abandon();
            return false;
        }
        // The server knows the file is complete when our side closes.
        mData->disconnectFromHost();
        if (mData->state() != QAbstractSocket::UnconnectedState && !mData->waitForDisconnected(timeout)
            && mData->state() != QAbstractSocket::UnconnectedState) {
            setLastError(ErrorTimeout);
            abandon();
            return false;
        }
    } else {
        // The data must end where the caller stopped: more of it means the
        // file on the server is not the one the caller counted on.
        if (mBufferPos < mBuffer.size() || (!mEndOfData && (!fill() || !mEndOfData))) {
            if (lastError() != ErrorTimeout)
                setLastError(ErrorInvalidServerResponse);
            abandon();
            return false;
        }
        mData->abort();
    }
    mFinished = true;
    Reply reply;
    if (!mConnection.readReply(reply))
        return false;
    if (reply.positiveCompletion())
        return true;
    setLastError(reply.negative() ? ErrorExtendedError : ErrorInvalidServerResponse);
    return false;
}

void FtpFile::abandon()
{
    // Keep the error that brought us here; closing is no failure of its own.
    const int error = lastError();
    const QString response = lastResponseInfo();
    mFinished = true;
    mData->abort();
    mConnection.resynchronize(AbandonReplyMs);
    setLastError(error);
    setLastResponseInfo(response);
}

} // namespace inet
