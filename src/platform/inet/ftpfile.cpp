#include "platform/inet/ftpfile.h"

#include <QCoreApplication>
#include <QSslSocket>

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/inet/link.h"
#include "platform/inet/socket.h"
#include "platform/inet/tls.h"
#include "platform/inet/wait.h"

namespace inet {

namespace {

// Written data may queue in an encrypted socket up to this much before we
// wait for the kernel to take it, which keeps memory flat on fast and slow
// links. A plain socket queues nothing: its block waits until the kernel
// has taken all of it.
constexpr qint64 WriteHighWater = 1024 * 1024;
// How long an abandoned transfer waits for the server's closing reply.
constexpr int AbandonReplyMs = 2000;
// What receive() says when the socket has nothing yet, but may have more.
constexpr qint64 NothingYet = -1;
// Reads at least this large bypass the file's own block.
constexpr qint64 DirectReadBytes = 16 * 1024;
// How often a wait for encrypted data looks whether the server has ended it.
constexpr int WaitSliceMs = 10;
// How long a download that finds its socket empty keeps looking before it
// sleeps. A fast server's next packet is there within that time, and a
// reader that sleeps between packets must be woken for each one by the
// sender, on the sender's time: on a virtual machine that wake-up is dear,
// and it slows down a server that is busy already. A link where the wait
// turns out longer is waited for asleep at once, until a wait is this short
// again, so a slow transfer costs no more processor time than before.
constexpr std::chrono::microseconds SpinLimit(300);

} // namespace

FtpFile::FtpFile(ConnectionLink &link, std::unique_ptr<QSslSocket> data, FileAccess access)
    : mLink(link), mData(std::move(data)), mAccess(access), mDirect(!mData->isEncrypted()),
      mBuffer(new char[BlockBytes]), mWritable(access == FileAccess::Write)
{
    // Bounded so that a fast server cannot fill our memory while the caller
    // is slow. A plain socket is read here, not by Qt: when the window's
    // events run, Qt takes in no more than a byte of it, which is read
    // first.
    mData->setReadBufferSize(mDirect ? 1 : 4 * BlockBytes);
    // Writing stops as soon as Qt sees the connection go, as it would when
    // Qt did the writing.
    QObject::connect(mData.get(), &QAbstractSocket::stateChanged, mData.get(),
                     [this](QAbstractSocket::SocketState state) {
                         if (state != QAbstractSocket::ConnectedState)
                             mWritable = false;
                     });
    // Qt says so only once, and a later timeout of a wait takes the
    // socket's error over; so the server's close is kept here.
    QObject::connect(mData.get(), &QAbstractSocket::errorOccurred, mData.get(),
                     [this](QAbstractSocket::SocketError error) {
                         if (error == QAbstractSocket::RemoteHostClosedError)
                             mServerClosed = true;
                     });
}

FtpFile::~FtpFile()
{
    if (!mFinished)
        abandon();
    if (!mReleased)
        mLink.release();
}

qint64 FtpFile::readMore(char *data, qint64 size)
{
    const Result<qint64> n = published(readSome(data, size));
    return n ? *n : -1;
}

bool FtpFile::writeMore(const char *data, qint64 size)
{
    return published(writeAll(data, size)).ok();
}

bool FtpFile::close()
{
    return published(finish()).ok();
}

// Up to size bytes; 0 at the end of the data (the server closed, or the
// connection broke: the caller counts what it got); NothingYet.
Result<qint64> FtpFile::receive(char *into, qint64 size)
{
    // What Qt took in while the window's events ran was sent before
    // anything still in the socket.
    if (mData->bytesAvailable() > 0)
        return qMax<qint64>(mData->read(into, size), 0);
    if (!mDirect) {
        for (;;) {
            const qint64 got = mData->read(into, size);
            if (got > 0)
                return got;
            if (takeDecrypted())
                continue;
            return got < 0 || !dataMayFollow() ? 0 : NothingYet;
        }
    }
    // Qt closes the descriptor when it sees the end of the data itself.
    const qintptr descriptor = mData->socketDescriptor();
    if (descriptor < 0 || mData->state() != QAbstractSocket::ConnectedState)
        return 0;
    for (;;) {
        const ssize_t got = ::recv(int(descriptor), into, size_t(size), MSG_DONTWAIT);
        if (got >= 0)
            return qint64(got);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return NothingYet;
        if (errno != EINTR)
            return 0;
    }
}

Status FtpFile::fill()
{
    mReadPos = mReadEnd = 0;
    const Result<qint64> got = arrive(mBuffer.get(), BlockBytes);
    if (!got)
        return got.failure();
    mReadEnd = *got;
    return {};
}

// Up to size bytes into the caller's memory as soon as there are any,
// waiting for them when there are none yet; 0 at the end of the data.
Result<qint64> FtpFile::arrive(char *into, qint64 size)
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> spinEnd;
    for (;;) {
        const Result<qint64> got = receive(into, size);
        if (!got)
            return got.failure();
        if (*got > 0)
            return *got;
        if (*got == 0) {
            mEndOfData = true;
            return 0;
        }
        if (mDirect && mSpinPays) {
            const Clock::time_point now = Clock::now();
            if (!spinEnd)
                spinEnd = now + SpinLimit;
            if (now < *spinEnd)
                continue;
            mSpinPays = false;
        }
        // Each wait may take the whole timeout: a slow server is not a dead
        // one as long as its data keeps coming.
        const QDeadlineTimer deadline(mLink.timeoutMs());
        if (!mDirect) {
            if (waitForData(deadline) || mData->bytesAvailable() > 0)
                continue;
            if (!dataMayFollow()) {
                mEndOfData = true;
                return 0;
            }
            return Failure{ErrorTimeout};
        }
        const Clock::time_point asleep = Clock::now();
        bool hooked = false;
        for (;;) {
            const qintptr descriptor = mData->socketDescriptor();
            if (descriptor < 0 || mData->bytesAvailable() > 0)
                break;
            const int ms = hooked ? remainingMs(deadline) : qMin(GlanceMs, remainingMs(deadline));
            if (pollDescriptor(descriptor, POLLIN, ms) != Readiness::TimedOut)
                break;
            if (hooked || deadline.hasExpired())
                return Failure{ErrorTimeout};
            if (const WaitHook &hook = mLink.waitHook())
                hook();
            hooked = true;
        }
        mSpinPays = Clock::now() - asleep <= SpinLimit;
        spinEnd.reset();
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
// close looked for in between. A wait that lasts beyond its first slice
// lets the window show where things stand, once.
bool FtpFile::waitForData(const QDeadlineTimer &deadline)
{
    bool hooked = false;
    do {
        if (mData->waitForReadyRead(qMin(WaitSliceMs, remainingMs(deadline))) || takeDecrypted())
            return true;
        if (mData->bytesAvailable() > 0 || !dataMayFollow())
            return false;
        if (!hooked) {
            hooked = true;
            if (const WaitHook &hook = mLink.waitHook()) {
                hook();
                if (mData->bytesAvailable() > 0 || takeDecrypted())
                    return true;
            }
        }
    } while (!deadline.hasExpired());
    return false;
}

Result<qint64> FtpFile::readSome(char *data, qint64 size)
{
    if (mAccess != FileAccess::Read || mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (mReadPos >= mReadEnd) {
        if (mEndOfData)
            return 0;
        // A caller that takes a block's worth or more at a time gets the
        // bytes straight from the socket into its own memory: one copy of
        // every byte fewer, and one buffer fewer for the processor's cache.
        if (size >= DirectReadBytes)
            return arrive(data, size);
        if (const Status filled = fill(); !filled)
            return filled.failure();
        if (mEndOfData)
            return 0;
    }
    return take(data, size);
}

// All size bytes to the kernel, straight from where they lie.
Status FtpFile::send(const char *from, qint64 size)
{
    while (size > 0) {
        const qintptr descriptor = mData->socketDescriptor();
        if (descriptor < 0 || mData->state() != QAbstractSocket::ConnectedState)
            return Failure{ErrorConnectionAborted};
        const ssize_t sent = ::send(int(descriptor), from, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            from += sent;
            size -= sent;
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return Failure{ErrorConnectionAborted};
        const QDeadlineTimer deadline(mLink.timeoutMs());
        Readiness ready = pollDescriptor(descriptor, POLLOUT, qMin(GlanceMs, remainingMs(deadline)));
        if (ready == Readiness::TimedOut && !deadline.hasExpired()) {
            if (const WaitHook &hook = mLink.waitHook())
                hook();
            // The window's events may have seen the connection go.
            if (mData->socketDescriptor() != descriptor)
                return Failure{ErrorConnectionAborted};
            ready = pollDescriptor(descriptor, POLLOUT, remainingMs(deadline));
        }
        if (ready == Readiness::TimedOut)
            return Failure{ErrorTimeout};
    }
    return {};
}

// An encrypted socket takes the block into its own buffer; it must not hold
// more than highWater of it when we go on.
Status FtpFile::drainQt(qint64 highWater)
{
    while (unsent() > highWater) {
        if (!waitForBytesWritten(*mData, QDeadlineTimer(mLink.timeoutMs()), mLink.waitHook()))
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
    return mData->bytesToWrite() + mData->encryptedBytesToWrite();
}

Status FtpFile::flush(qint64 highWater)
{
    if (mFill > 0) {
        const qint64 size = mFill;
        mFill = 0;
        if (mDirect)
            return send(mBuffer.get(), size);
        if (mData->write(mBuffer.get(), size) != size)
            return Failure{ErrorConnectionAborted};
    }
    return mDirect ? Status() : drainQt(highWater);
}

Status FtpFile::writeAll(const char *data, qint64 size)
{
    if (mAccess != FileAccess::Write || mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (!mWritable || mData->state() != QAbstractSocket::ConnectedState)
        return Failure{ErrorConnectionAborted};
    while (size > 0) {
        const qint64 n = qMin(size, BlockBytes - mFill);
        std::memcpy(mBuffer.get() + mFill, data, size_t(n));
        mFill += n;
        data += n;
        size -= n;
        if (mFill == BlockBytes) {
            if (const Status flushed = flush(WriteHighWater); !flushed)
                return flushed;
        }
    }
    return {};
}

Status FtpFile::finish()
{
    if (mFinished)
        return Failure{ErrorIncorrectHandleState};
    if (const Status ended = mWritingEnded                  ? *mWritingEnded
                             : mAccess == FileAccess::Write ? endUpload()
                                                            : endDownload();
        !ended) {
        abandon();
        return ended;
    }
    mFinished = true;
    mWritable = false;
    const Result<Reply> reply = mLink.finalReply();
    if (!reply)
        return reply.failure();
    if (!reply->positiveCompletion())
        return reply->failure();
    // The transfer is over on both sides: the connection may take the next
    // command (the size check of an upload) while this file is still held.
    mLink.release();
    mReleased = true;
    return {};
}

void FtpFile::endWriting()
{
    if (mAccess != FileAccess::Write || mFinished || mWritingEnded)
        return;
    mWritingEnded = endUpload();
    mWritable = false;
}

Status FtpFile::endUpload()
{
    if (const Status flushed = flush(0); !flushed)
        return flushed;
    // The server knows the file is complete when our side closes; over TLS
    // only when it closes cleanly.
    const QDeadlineTimer deadline(mLink.timeoutMs());
    if (mData->isEncrypted())
        return closeEncrypted(*mData, deadline, mLink.waitHook());
    if (!disconnectWithin(*mData, deadline, mLink.waitHook()))
        return Failure{ErrorTimeout};
    return {};
}

Status FtpFile::endDownload()
{
    // The data must end where the caller stopped: more of it means the file
    // on the server is not the one the caller counted on.
    if (mReadPos < mReadEnd)
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
    mWritable = false;
    mReadPos = mReadEnd = mFill = 0;
    mData->abort();
    mLink.resynchronize(AbandonReplyMs);
}

} // namespace inet
