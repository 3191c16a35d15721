#include "platform/inet/datachannel.h"

#include <QRegularExpression>
#include <QSslSocket>

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/inet/socket.h"

namespace inet {

namespace {

// How often the wait for the server's data connection looks at the control
// connection in between.
constexpr int AcceptSliceMs = 20;
constexpr int ControlGlanceMs = 5;
// How long the server's reply to a data connection we gave up on may take.
constexpr int AbandonReplyMs = 2000;

// "229 Entering Extended Passive Mode (|||6446|)"
std::optional<quint16> parseEpsv(const QString &text)
{
    static const QRegularExpression re(QStringLiteral(R"(\((.)\1\1(\d{1,5})\1\))"));
    const auto match = re.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const uint port = match.captured(2).toUInt();
    if (port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)". Only the port is taken:
// the address is the control connection's peer whatever the reply says, so
// a reply cannot send our data to a third host.
std::optional<quint16> parsePasv(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral(R"((\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}),(\d{1,3}))"));
    const auto match = re.match(text.mid(4));
    if (!match.hasMatch())
        return std::nullopt;
    const uint high = match.captured(5).toUInt();
    const uint low = match.captured(6).toUInt();
    if (high > 255 || low > 255 || (high == 0 && low == 0))
        return std::nullopt;
    return static_cast<quint16>(high * 256 + low);
}

// "PORT h1,h2,h3,h4,p1,p2" for IPv4, "EPRT |2|address|port|" for IPv6.
QString portCommand(const QHostAddress &local, quint16 port)
{
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (isV4) {
        return QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
            .arg(v4 >> 24)
            .arg((v4 >> 16) & 0xFF)
            .arg((v4 >> 8) & 0xFF)
            .arg(v4 & 0xFF)
            .arg(port >> 8)
            .arg(port & 0xFF);
    }
    QHostAddress plain = local;
    plain.setScopeId(QString());
    return QStringLiteral("EPRT |2|%1|%2|").arg(plain.toString()).arg(port);
}

} // namespace

// Hands out QSslSocket objects, so that a data connection can later be
// encrypted like the control connection. The first one is made with the
// listener: a QSslSocket takes a while to make, and the listener is set up
// ahead of the transfer command, while the server's connection comes after
// it, when every moment counts.
class DataChannel::Listener : public QTcpServer
{
public:
    Listener() : mSpare(new QSslSocket(this)) {}

    // Empty once listening; otherwise what failed.
    QString listenAt(const QHostAddress &address)
    {
        const qintptr descriptor = listenOnFreePort(address, listenBacklogSize());
        if (descriptor < 0)
            return qt_error_string(errno);
        if (setSocketDescriptor(descriptor))
            return {};
        // Qt leaves the descriptor to us when it cannot take it over. It
        // closes one itself only when it cannot make it non-blocking, and
        // ours is made non-blocking already.
        ::close(int(descriptor));
        return errorString();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QSslSocket *socket = mSpare ? std::exchange(mSpare, nullptr) : new QSslSocket(this);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket);
        else
            delete socket;
    }

private:
    QSslSocket *mSpare;
};

DataChannel::~DataChannel()
{
    if (mSocket)
        mSocket->abort();
}

Result<std::unique_ptr<DataChannel>> DataChannel::open(ControlChannel &control, DataMode mode, bool &epsvRefused)
{
    std::unique_ptr<DataChannel> channel(new DataChannel);
    const Status opened
        = mode == DataMode::Active ? channel->openActive(control) : channel->openPassive(control, epsvRefused);
    if (!opened)
        return opened.failure();
    return channel;
}

Status DataChannel::openActive(ControlChannel &control)
{
    const QHostAddress local = control.localAddress();
    mListener = std::make_unique<Listener>();
    const QString failed = mListener->listenAt(local);
    if (!failed.isEmpty())
        return Failure::because(
            ErrorCannotConnect,
            QStringLiteral("cannot listen at %1 for the data connection: %2").arg(local.toString(), failed));
    return completed(control.command(portCommand(local, mListener->serverPort())));
}

// The port the server listens on for us: EPSV first, PASV when an IPv4
// server does not know EPSV (and from then on, without asking again).
Result<quint16> DataChannel::enterPassive(ControlChannel &control, bool &epsvRefused)
{
    if (!epsvRefused) {
        const Result<Reply> reply = control.command(QStringLiteral("EPSV"));
        if (!reply)
            return reply.failure();
        if (reply->code == 229) {
            const auto port = parseEpsv(reply->text);
            return port ? Result<quint16>(*port) : Failure{ErrorInvalidServerResponse, reply->text};
        }
        bool isV4 = false;
        control.peerAddress().toIPv4Address(&isV4);
        if (reply->code / 100 != 5 || !isV4)
            return reply->failure();
        epsvRefused = true;
    }
    const Result<Reply> reply = expect(control.command(QStringLiteral("PASV")), 227);
    if (!reply)
        return reply.failure();
    const auto port = parsePasv(reply->text);
    return port ? Result<quint16>(*port) : Failure{ErrorInvalidServerResponse, reply->text};
}

Status DataChannel::openPassive(ControlChannel &control, bool &epsvRefused)
{
    const Result<quint16> port = enterPassive(control, epsvRefused);
    if (!port)
        return port.failure();
    const ServerAddress target{control.peerAddress().toString(), *port};
    auto socket = connectSocket(target, QDeadlineTimer(control.timeoutMs()), control.waitHook());
    if (!socket)
        return socket.failure();
    mSocket = std::move(*socket);
    return {};
}

void DataChannel::takeEarlyConnection(ControlChannel &control)
{
    if (mSocket || !mListener || !mListener->isListening())
        return;
    if (mListener->hasPendingConnections() || mListener->waitForNewConnection(0))
        mSocket = takePending(control.peerAddress());
}

Result<std::unique_ptr<QSslSocket>> DataChannel::establish(ControlChannel &control)
{
    Result<std::unique_ptr<QSslSocket>> socket
        = mSocket ? Result<std::unique_ptr<QSslSocket>>(std::move(mSocket)) : accept(control);
    if (!socket || !control.isEncrypted())
        return socket;
    // The client side of the handshake is ours whoever connected: the data
    // are only as private as the control connection's session they resume.
    if (const Status encrypted
        = encryptData(**socket, control.tls(), QDeadlineTimer(control.timeoutMs()), control.waitHook());
        !encrypted) {
        (*socket)->abort();
        // The server has begun the transfer and will say how it ended.
        control.resynchronize(qMin(control.timeoutMs(), AbandonReplyMs));
        return encrypted.failure();
    }
    return socket;
}

std::unique_ptr<QSslSocket> DataChannel::takePending(const QHostAddress &peer)
{
    while (mListener->hasPendingConnections()) {
        auto *incoming = static_cast<QSslSocket *>(mListener->nextPendingConnection());
        incoming->setParent(nullptr);
        std::unique_ptr<QSslSocket> socket(incoming);
        // Only the server we talk to may deliver our data.
        if (socket->peerAddress().isEqual(peer, QHostAddress::TolerantConversion)) {
            mListener->close();
            return socket;
        }
        socket->abort();
    }
    return nullptr;
}

Result<std::unique_ptr<QSslSocket>> DataChannel::accept(ControlChannel &control)
{
    // Wait for the server's connection, but keep an ear on the control
    // connection: a server that cannot reach us says so there (425).
    const QDeadlineTimer deadline(control.timeoutMs());
    const QHostAddress peer = control.peerAddress();
    bool hooked = false;
    while (!deadline.hasExpired()) {
        // A server may connect as soon as it hears where (at PORT, not at
        // the transfer command), and the window's event loop may then have
        // taken the connection in already: one that waits is not waited for.
        if (mListener->hasPendingConnections()
            || mListener->waitForNewConnection(qMin(AcceptSliceMs, remainingMs(deadline)))) {
            if (std::unique_ptr<QSslSocket> socket = takePending(peer))
                return socket;
            continue;
        }
        if (control.replyPending(ControlGlanceMs)) {
            const Result<Reply> reply = control.readReply();
            return reply ? reply->failure() : reply.failure();
        }
        if (!control.isOpen())
            return Failure{ErrorConnectionAborted};
        // The server takes its time: the window shows where things stand.
        if (!hooked && control.waitHook())
            control.waitHook()();
        hooked = true;
    }
    control.abort();
    return Failure{ErrorTimeout};
}

} // namespace inet
