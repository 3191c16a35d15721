#include "platform/inet/socket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSslSocket>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace inet {

namespace {

// Name resolution blocks in the system resolver with no timeout of its own,
// so it runs on a thread of its own and we wait for it only as long as the
// deadline allows. A lookup that outlives us finishes and is thrown away.
Result<QList<QHostAddress>> resolve(const QString &host, QDeadlineTimer deadline)
{
    const QHostAddress literal(host);
    if (!literal.isNull())
        return QList<QHostAddress>{literal};

    struct Lookup
    {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QList<QHostAddress> addresses;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host] {
        const QHostInfo info = QHostInfo::fromName(host);
        std::lock_guard lock(lookup->mutex);
        lookup->addresses = info.addresses();
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();

    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(remainingMs(deadline)),
                               [&] { return lookup->finished; }))
        return Failure{ErrorTimeout};
    if (lookup->addresses.isEmpty())
        return Failure{ErrorNameNotResolved};
    return lookup->addresses;
}

} // namespace

int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : static_cast<int>(qMin<qint64>(left, INT_MAX));
}

Result<std::unique_ptr<QSslSocket>> connectSocket(const ServerAddress &server, QDeadlineTimer deadline,
                                                  const WaitHook &hook)
{
    const auto addresses = resolve(server.host, deadline);
    if (!addresses)
        return addresses.failure();

    int error = ErrorCannotConnect;
    for (const QHostAddress &address : *addresses) {
        if (deadline.hasExpired()) {
            error = ErrorTimeout;
            break;
        }
        auto socket = std::make_unique<QSslSocket>();
        socket->connectToHost(address, server.port);
        glanceBefore(socket->socketDescriptor(), POLLOUT, deadline, hook);
        if (socket->waitForConnected(remainingMs(deadline)))
            return socket;
        error = socket->error() == QAbstractSocket::SocketTimeoutError || deadline.hasExpired() ? ErrorTimeout
                                                                                                : ErrorCannotConnect;
        socket->abort();
    }
    return Failure{error};
}

// Not QTcpServer::listen(): it asks for SO_REUSEADDR, which only a fixed
// port needs. For a port of its own choosing, Linux then looks in the lower
// half of its range first, and that is the half where every earlier data
// connection of ours waits out its TIME_WAIT for a minute (an upload closes
// first, so the wait is on our side). A job of a few thousand small files a
// minute fills that half, and each new listener then scans all of it: more
// than half a millisecond, for every file.
qintptr listenOnFreePort(const QHostAddress &address, int backlog)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(v4);
        length = sizeof(sockaddr_in);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, v6.c, sizeof(v6.c));
        if (!address.scopeId().isEmpty())
            in6->sin6_scope_id = QNetworkInterface::interfaceIndexFromName(address.scopeId());
        length = sizeof(sockaddr_in6);
    } else {
        errno = EAFNOSUPPORT;
        return -1;
    }
    const int descriptor = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    if (::bind(descriptor, reinterpret_cast<const sockaddr *>(&storage), length) != 0
        || ::listen(descriptor, backlog) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

} // namespace inet
