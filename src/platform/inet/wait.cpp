#include "platform/inet/wait.h"

#include <QAbstractSocket>

#include <poll.h>

#include <cerrno>

#include "platform/inet/socket.h"

namespace inet {

namespace {

// A glance, then, if the wait is still on and time is left, the hook and the
// rest of the wait. waitMs(ms) is one wait: true when it is over for good
// (ready, or failed for another reason than time). The hook lets Qt's events
// run, and with them the socket's own notifications: what the wait was for
// may have come meanwhile (done()).
template<typename WaitMs, typename Done>
bool glanceThenWait(const QDeadlineTimer &deadline, const WaitHook &hook, WaitMs waitMs, Done done, bool &timedOut)
{
    timedOut = false;
    if (waitMs(qMin(GlanceMs, remainingMs(deadline))))
        return true;
    if (!timedOut || deadline.hasExpired())
        return false;
    if (hook) {
        hook();
        if (done())
            return true;
    }
    return waitMs(remainingMs(deadline));
}

// A Qt wait that ran out of time leaves the socket open and says so in its
// error; any other failure closes it.
bool stillWaiting(const QAbstractSocket &socket)
{
    return socket.state() == QAbstractSocket::ConnectedState && socket.error() == QAbstractSocket::SocketTimeoutError;
}

} // namespace

bool waitForReadyRead(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook)
{
    const qint64 before = socket.bytesAvailable();
    bool timedOut = false;
    return glanceThenWait(
        deadline, hook,
        [&](int ms) {
            if (socket.waitForReadyRead(ms))
                return true;
            timedOut = stillWaiting(socket);
            return false;
        },
        [&] { return socket.bytesAvailable() > before; }, timedOut);
}

bool waitForBytesWritten(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook)
{
    const qint64 before = socket.bytesToWrite();
    bool timedOut = false;
    return glanceThenWait(
        deadline, hook,
        [&](int ms) {
            if (socket.waitForBytesWritten(ms))
                return true;
            timedOut = stillWaiting(socket);
            return false;
        },
        [&] { return socket.bytesToWrite() < before; }, timedOut);
}

void glanceBefore(qintptr descriptor, short events, const QDeadlineTimer &deadline, const WaitHook &hook)
{
    if (hook && descriptor >= 0
        && pollDescriptor(descriptor, events, qMin(GlanceMs, remainingMs(deadline))) == Readiness::TimedOut
        && !deadline.hasExpired())
        hook();
}

bool disconnectWithin(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook)
{
    socket.disconnectFromHost();
    if (socket.state() == QAbstractSocket::UnconnectedState)
        return true;
    glanceBefore(socket.socketDescriptor(), POLLOUT, deadline, hook);
    return socket.waitForDisconnected(remainingMs(deadline)) || socket.state() == QAbstractSocket::UnconnectedState;
}

Readiness pollDescriptor(qintptr descriptor, short events, int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        pollfd fd{int(descriptor), events, 0};
        const int n = ::poll(&fd, 1, remainingMs(deadline));
        if (n > 0)
            return Readiness::Ready;
        if (n == 0)
            return Readiness::TimedOut;
        if (errno != EINTR)
            return Readiness::Failed;
    }
}

} // namespace inet
