#include "platform/inet/datachannel.h"

#include <QRegularExpression>
#include <QSslSocket>

#include "platform/inet/errors.h"
#include "platform/inet/ftpconnection.h"

namespace inet {

namespace {

int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? 0 : static_cast<int>(qMin<qint64>(left, INT_MAX));
}

bool failWithReply(const Reply &reply)
{
    setLastError(reply.negative() ? ErrorExtendedError : ErrorInvalidServerResponse);
    return false;
}

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

} // namespace

// Hands out QSslSocket objects, so that a data connection can later be
// encrypted like the control connection.
class DataChannel::Listener : public QTcpServer
{
protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket);
        else
            delete socket;
    }
};

DataChannel::~DataChannel()
{
    if (mSocket)
        mSocket->abort();
}

std::unique_ptr<DataChannel> DataChannel::open(ControlChannel &control, DataMode mode, bool &epsvRefused)
{
    std::unique_ptr<DataChannel> channel(new DataChannel);
    const bool ok
        = mode == DataMode::Active ? channel->openActive(control) : channel->openPassive(control, epsvRefused);
    if (!ok)
        return nullptr;
    return channel;
}

bool DataChannel::openActive(ControlChannel &control)
{
    const QHostAddress local = control.socket().localAddress();
    mListener = std::make_unique<Listener>();
    if (!mListener->listen(local, 0)) {
        setLastError(ErrorCannotConnect);
        return false;
    }
    const quint16 port = mListener->serverPort();
    QString command;
    bool isV4 = false;
    const quint32 v4 = local.toIPv4Address(&isV4);
    if (isV4) {
        command = QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
                      .arg(v4 >> 24)
                      .arg((v4 >> 16) & 0xFF)
                      .arg((v4 >> 8) & 0xFF)
                      .arg(v4 & 0xFF)
                      .arg(port >> 8)
                      .arg(port & 0xFF);
    } else {
        QHostAddress plain = local;
        plain.setScopeId(QString());
        command = QStringLiteral("EPRT |2|%1|%2|").arg(plain.toString()).arg(port);
    }
    Reply reply;
    if (!control.command(command, reply))
        return false;
    if (!reply.positiveCompletion())
        return failWithReply(reply);
    return true;
}

bool DataChannel::openPassive(ControlChannel &control, bool &epsvRefused)
{
    const QHostAddress peer = control.socket().peerAddress();
    bool isV4 = false;
    peer.toIPv4Address(&isV4);

    std::optional<quint16> port;
    Reply reply;
    if (!epsvRefused) {
        if (!control.command(QStringLiteral("EPSV"), reply))
            return false;
        if (reply.code == 229) {
            port = parseEpsv(reply.text);
            if (!port) {
                setLastError(ErrorInvalidServerResponse);
                return false;
            }
        } else if (reply.code / 100 == 5 && isV4) {
            epsvRefused = true;
        } else {
            return failWithReply(reply);
        }
    }
    if (!port) {
        if (!control.command(QStringLiteral("PASV"), reply))
            return false;
        if (reply.code != 227)
            return failWithReply(reply);
        port = parsePasv(reply.text);
        if (!port) {
            setLastError(ErrorInvalidServerResponse);
            return false;
        }
    }

    ServerAddress target{peer.toString(), *port};
    mSocket = connectSocket(target, QDeadlineTimer(control.timeoutMs()));
    return mSocket != nullptr;
}

bool DataChannel::establish(ControlChannel &control, Reply &reply, bool &replyRead)
{
    replyRead = false;
    if (!mListener)
        return mSocket != nullptr;

    // Wait for the server's connection, but keep an ear on the control
    // connection: a server that cannot reach us says so there (425).
    const QDeadlineTimer deadline(control.timeoutMs());
    const QHostAddress peer = control.socket().peerAddress();
    while (!deadline.hasExpired()) {
        if (mListener->waitForNewConnection(qMin(20, remainingMs(deadline))) || mListener->hasPendingConnections()) {
            auto *incoming = static_cast<QSslSocket *>(mListener->nextPendingConnection());
            incoming->setParent(nullptr);
            std::unique_ptr<QSslSocket> socket(incoming);
            // Only the server we talk to may deliver our data.
            if (socket->peerAddress().isEqual(peer, QHostAddress::TolerantConversion)) {
                mSocket = std::move(socket);
                mListener->close();
                return true;
            }
            socket->abort();
            continue;
        }
        if (control.socket().bytesAvailable() > 0 || control.socket().waitForReadyRead(5)) {
            replyRead = control.readReply(reply);
            if (replyRead)
                failWithReply(reply);
            return false;
        }
        if (!control.isOpen()) {
            setLastError(ErrorConnectionAborted);
            return false;
        }
    }
    setLastError(ErrorTimeout);
    return false;
}

std::unique_ptr<QSslSocket> DataChannel::takeSocket()
{
    return std::move(mSocket);
}

} // namespace inet
