#include "platform/inet/control.h"

#include <QSslSocket>

#include <cctype>

#include "platform/inet/socket.h"

namespace inet {

namespace {

// Hostile or broken servers must not make us buffer without end.
constexpr qsizetype MaxLineBytes = 64 * 1024;
constexpr qsizetype MaxReplyBytes = 1024 * 1024;
// QUIT is a courtesy: a dead server must not hold up a reconnection.
constexpr int QuitWaitMs = 2000;
// How long a second reply to an abandoned transfer may take to follow the
// first one: servers send the two back to back.
constexpr int SecondReplyWaitMs = 50;

bool startsWithCode(const QByteArray &line)
{
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))
           && std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]))
           && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

} // namespace

Result<Reply> expect(Result<Reply> reply, int code)
{
    if (reply && reply->code != code)
        return reply->failure();
    return reply;
}

Status completed(const Result<Reply> &reply)
{
    if (!reply)
        return reply.failure();
    if (!reply->positiveCompletion())
        return reply->failure();
    return {};
}

bool fitsOneLine(QStringView text)
{
    return !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QChar(0));
}

ControlChannel::ControlChannel(std::unique_ptr<QSslSocket> socket, int timeoutMs)
    : mSocket(std::move(socket)), mTimeoutMs(timeoutMs)
{}

ControlChannel::~ControlChannel()
{
    if (mSocket)
        mSocket->abort();
}

Result<std::unique_ptr<ControlChannel>> ControlChannel::connect(const ServerAddress &server, int timeoutMs)
{
    auto socket = connectSocket(server, QDeadlineTimer(timeoutMs));
    if (!socket)
        return socket.failure();
    return std::unique_ptr<ControlChannel>(new ControlChannel(std::move(*socket), timeoutMs));
}

bool ControlChannel::isOpen() const
{
    return mSocket && mSocket->state() == QAbstractSocket::ConnectedState;
}

QHostAddress ControlChannel::localAddress() const
{
    return mSocket->localAddress();
}

QHostAddress ControlChannel::peerAddress() const
{
    return mSocket->peerAddress();
}

void ControlChannel::abort()
{
    mSocket->abort();
}

Failure ControlChannel::drop(Failure failure)
{
    mSocket->abort();
    return failure;
}

Result<Reply> ControlChannel::command(const QString &line)
{
    return exchange(line, mTimeoutMs);
}

Result<Reply> ControlChannel::exchange(const QString &line, int waitMs)
{
    // Refused before a single byte leaves, so the connection stays good.
    if (!fitsOneLine(line))
        return Failure{ErrorInvalidParameter};
    if (const Status sent = send(line, QDeadlineTimer(waitMs)); !sent)
        return drop(sent.failure());
    return readReply(waitMs);
}

Result<Reply> ControlChannel::readReply()
{
    return readReply(mTimeoutMs);
}

Result<Reply> ControlChannel::readReply(int waitMs)
{
    Result<Reply> reply = receive(QDeadlineTimer(waitMs));
    if (!reply)
        return drop(reply.failure());
    if (mSessionOpen && reply->code == 421)
        return drop(Failure{ErrorConnectionAborted, reply->text});
    return reply;
}

bool ControlChannel::replyPending(int waitMs)
{
    return mSocket->bytesAvailable() > 0 || mSocket->waitForReadyRead(waitMs);
}

Status ControlChannel::send(const QString &line, QDeadlineTimer deadline)
{
    if (!isOpen())
        return Failure{ErrorConnectionAborted};
    mSocket->write(line.toUtf8() + "\r\n");
    while (mSocket->bytesToWrite() > 0) {
        if (!waitForBytesWritten(*mSocket, deadline, mWaitHook)) {
            const bool late = deadline.hasExpired() || mSocket->error() == QAbstractSocket::SocketTimeoutError;
            return Failure{late ? ErrorTimeout : ErrorConnectionAborted};
        }
    }
    return {};
}

Result<QByteArray> ControlChannel::readLine(QDeadlineTimer deadline)
{
    while (!mSocket->canReadLine()) {
        if (mSocket->bytesAvailable() > MaxLineBytes)
            return Failure{ErrorInvalidServerResponse};
        if (mSocket->state() != QAbstractSocket::ConnectedState)
            return Failure{ErrorConnectionAborted};
        if (!waitForReadyRead(*mSocket, deadline, mWaitHook)) {
            if (mSocket->canReadLine())
                break;
            if (mSocket->state() != QAbstractSocket::ConnectedState
                || mSocket->error() == QAbstractSocket::RemoteHostClosedError)
                return Failure{ErrorConnectionAborted};
            return Failure{ErrorTimeout};
        }
    }
    QByteArray line = mSocket->readLine(MaxLineBytes + 1);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

Result<Reply> ControlChannel::receive(QDeadlineTimer deadline)
{
    Result<QByteArray> line = readLine(deadline);
    if (!line)
        return line.failure();
    if (!startsWithCode(*line))
        return Failure{ErrorInvalidServerResponse};
    QByteArray text = *line + "\r\n";
    const QByteArray code = line->left(3);
    if (line->size() > 3 && line->at(3) == '-') {
        // A multi-line reply ends with the line that repeats the code
        // followed by a blank (or by nothing at all).
        for (;;) {
            line = readLine(deadline);
            if (!line)
                return line.failure();
            text += *line + "\r\n";
            if (text.size() > MaxReplyBytes)
                return Failure{ErrorInvalidServerResponse};
            if (line->startsWith(code) && (line->size() == 3 || line->at(3) == ' '))
                break;
        }
    }
    return Reply{code.toInt(), QString::fromUtf8(text)};
}

void ControlChannel::resynchronize(int waitMs)
{
    if (!isOpen())
        return;
    // A transfer cut short is answered by one reply (426, 451 or 226); a
    // second one right behind it (426 then 226) is taken too. A reply that
    // does not come has dropped the connection on its way (readReply).
    if (readReply(waitMs).ok() && replyPending(SecondReplyWaitMs))
        static_cast<void>(readReply());
}

Status ControlChannel::encrypt(const TrustPolicy &policy, const QString &host)
{
    if (const Status done = policy.encrypt(*mSocket, host, QDeadlineTimer(mTimeoutMs)); !done)
        return drop(done.failure());
    mTlsHost = host;
    return {};
}

Status ControlChannel::startTls(const TrustPolicy &policy, const QString &host)
{
    const Result<Reply> reply = command(QStringLiteral("AUTH TLS"));
    if (!reply)
        return reply.failure();
    if (reply->code != 234) {
        Failure refused = Failure::because(
            ErrorEncryptionRefused,
            QStringLiteral("%1 refuses AUTH TLS: %2").arg(host, reply->text.section(QStringLiteral("\r\n"), 0, 0)));
        refused.reply = reply->text;
        return drop(refused);
    }
    // A server that slipped anything in behind its 234 is not to be
    // trusted with a handshake: those bytes would be read as one.
    if (mSocket->bytesAvailable() > 0)
        return drop(Failure::because(ErrorSecurityChannel,
                                     QStringLiteral("%1 sent more than its answer to AUTH TLS").arg(host)));
    return encrypt(policy, host);
}

bool ControlChannel::isEncrypted() const
{
    return mSocket->isEncrypted();
}

ControlTls ControlChannel::tls() const
{
    return ControlTls{mTlsHost, mSocket->sslConfiguration().sessionTicket(), mSocket->peerCertificate()};
}

void ControlChannel::quit()
{
    if (!isOpen())
        return;
    // Saying goodbye is a courtesy: whatever the server answers, or fails
    // to, changes nothing for anybody.
    static_cast<void>(exchange(QStringLiteral("QUIT"), qMin(mTimeoutMs, QuitWaitMs)));
    mSocket->abort();
}

} // namespace inet
