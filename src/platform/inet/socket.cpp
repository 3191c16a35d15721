#include "platform/inet/socket.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>

#include <condition_variable>
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

Result<std::unique_ptr<QSslSocket>> connectSocket(const ServerAddress &server, QDeadlineTimer deadline)
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
        if (socket->waitForConnected(remainingMs(deadline)))
            return socket;
        error = socket->error() == QAbstractSocket::SocketTimeoutError || deadline.hasExpired() ? ErrorTimeout
                                                                                                : ErrorCannotConnect;
        socket->abort();
    }
    return Failure{error};
}

} // namespace inet
