#include "platform/inet/control.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/inet/errors.h"

namespace inet {

namespace {

// Hostile or broken servers must not make us buffer without end.
constexpr qsizetype MaxLineBytes = 64 * 1024;
constexpr qsizetype MaxReplyBytes = 1024 * 1024;
// QUIT is a courtesy: a dead server must not hold up a reconnection.
constexpr int QuitWaitMs = 2000;

int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : static_cast<int>(qMin<qint64>(left, INT_MAX));
}

// Name resolution blocks in the system resolver with no timeout of its own,
// so it runs on a thread of its own and we wait for it only as long as the
// deadline allows. A lookup that outlives us finishes and is thrown away.
std::optional<QList<QHostAddress>> resolve(const QString &host, QDeadlineTimer deadline)
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
        return std::nullopt;
    return lookup->addresses;
}

} // namespace

std::unique_ptr<QSslSocket> connectSocket(const ServerAddress &server, QDeadlineTimer deadline)
{
    const auto addresses = resolve(server.host, deadline);
    if (!addresses) {
        setLastError(ErrorTimeout);
        return nullptr;
    }
    if (addresses->isEmpty()) {
        setLastError(ErrorNameNotResolved);
        return nullptr;
    }

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
    setLastError(error);
    return nullptr;
}

ControlChannel::ControlChannel(std::unique_ptr<QSslSocket> socket, int timeoutMs)
    : mSocket(std::move(socket)), mTimeoutMs(timeoutMs)
{}

ControlChannel::~ControlChannel()
{
    if (mSocket)
        mSocket->abort();
}

std::unique_ptr<ControlChannel> ControlChannel::connect(const ServerAddress &server, int timeoutMs)
{
    auto socket = connectSocket(server, QDeadlineTimer(timeoutMs));
    if (!socket)
        return nullptr;
    return std::unique_ptr<ControlChannel>(new ControlChannel(std::move(socket), timeoutMs));
}

bool ControlChannel::isOpen() const
{
    return mSocket && mSocket->state() == QAbstractSocket::ConnectedState;
}

void ControlChannel::abort()
{
    mSocket->abort();
}

void ControlChannel::failAborted()
{
    mSocket->abort();
    setLastError(ErrorConnectionAborted);
}

bool ControlChannel::send(const QString &command)
{
    // A name or setting carrying a line break would smuggle a second command
    // to the server; refuse it before a single byte leaves.
    if (command.contains(QLatin1Char('\r')) || command.contains(QLatin1Char('\n')) || command.contains(QChar(0))) {
        setLastError(ErrorInvalidParameter);
        return false;
    }
    if (!isOpen()) {
        setLastError(ErrorConnectionAborted);
        return false;
    }
    const QDeadlineTimer deadline(mTimeoutMs);
    mSocket->write(command.toUtf8() + "\r\n");
    while (mSocket->bytesToWrite() > 0) {
        if (!mSocket->waitForBytesWritten(remainingMs(deadline))) {
            if (deadline.hasExpired() || mSocket->error() == QAbstractSocket::SocketTimeoutError) {
                setLastError(ErrorTimeout);
                return false;
            }
            failAborted();
            return false;
        }
    }
    return true;
}

bool ControlChannel::readLine(QByteArray &line, QDeadlineTimer deadline)
{
    while (!mSocket->canReadLine()) {
        if (mSocket->bytesAvailable() > MaxLineBytes) {
            mSocket->abort();
            setLastError(ErrorInvalidServerResponse);
            return false;
        }
        if (mSocket->state() != QAbstractSocket::ConnectedState) {
            failAborted();
            return false;
        }
        if (!mSocket->waitForReadyRead(remainingMs(deadline))) {
            if (mSocket->canReadLine())
                break;
            if (mSocket->state() != QAbstractSocket::ConnectedState
                || mSocket->error() == QAbstractSocket::RemoteHostClosedError) {
                failAborted();
                return false;
            }
            setLastError(ErrorTimeout);
            return false;
        }
    }
    line = mSocket->readLine(MaxLineBytes + 1);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return true;
}

bool ControlChannel::readReply(Reply &reply)
{
    const QDeadlineTimer deadline(mTimeoutMs);
    auto isCode = [](const QByteArray &line) {
        return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))
               && std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]))
               && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
    };

    QByteArray line;
    if (!readLine(line, deadline))
        return false;
    if (!isCode(line)) {
        mSocket->abort();
        setLastError(ErrorInvalidServerResponse);
        return false;
    }
    QByteArray text = line + "\r\n";
    const QByteArray code = line.left(3);
    if (line.size() > 3 && line[3] == '-') {
        // A multi-line reply ends with the line that repeats the code
        // followed by a blank (or by nothing at all).
        for (;;) {
            if (!readLine(line, deadline))
                return false;
            text += line + "\r\n";
            if (text.size() > MaxReplyBytes) {
                mSocket->abort();
                setLastError(ErrorInvalidServerResponse);
                return false;
            }
            if (line.startsWith(code) && (line.size() == 3 || line[3] == ' '))
                break;
        }
    }
    reply.code = code.toInt();
    reply.text = QString::fromUtf8(text);
    setLastResponseInfo(reply.text);
    return true;
}

bool ControlChannel::command(const QString &command, Reply &reply)
{
    return send(command) && readReply(reply);
}

void ControlChannel::quit()
{
    if (!isOpen())
        return;
    // Closing is no failure of anybody's: keep the thread's error state as
    // the last real failure left it.
    const int error = lastError();
    const QString response = lastResponseInfo();
    const int timeout = mTimeoutMs;
    mTimeoutMs = qMin(mTimeoutMs, QuitWaitMs);
    Reply reply;
    command(QStringLiteral("QUIT"), reply);
    mTimeoutMs = timeout;
    mSocket->abort();
    setLastError(error);
    setLastResponseInfo(response);
}

} // namespace inet
