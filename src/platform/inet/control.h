#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QString>
#include <QStringView>

#include <memory>

#include "platform/inet/result.h"
#include "platform/inet/server.h"
#include "platform/inet/tls.h"
#include "platform/inet/wait.h"

class QSslSocket;

namespace inet {

// One reply of the server: its three-digit code and its whole text, every
// line with its CR LF, as the server sent it.
struct Reply
{
    int code = 0;
    QString text;

    [[nodiscard]] bool positivePreliminary() const { return code / 100 == 1; }
    [[nodiscard]] bool positiveCompletion() const { return code / 100 == 2; }
    [[nodiscard]] bool positiveIntermediate() const { return code / 100 == 3; }
    [[nodiscard]] bool negative() const { return code / 100 == 4 || code / 100 == 5; }

    // What this reply means when it is not the one the command wanted: a
    // negative reply is the server saying no, in its own words; any other is
    // a reply we cannot make sense of at this point.
    Failure failure() const { return Failure{negative() ? ErrorExtendedError : ErrorInvalidServerResponse, text}; }
};

// The reply when the exchange brought the one wanted; else the exchange's
// failure, or the unwanted reply's.
Result<Reply> expect(Result<Reply> reply, int code);
// Success when the exchange brought a positive completion (2xx); else the
// exchange's failure, or the reply's.
Status completed(const Result<Reply> &reply);

// True when the text can travel inside one command line: a CR, LF or NUL in
// a name or a setting would smuggle a second command to the server.
[[nodiscard]] bool fitsOneLine(QStringView text);

// The control connection of an FTP session, and the one place that sends a
// command and reads a reply. Every wait is bounded by the timeout given at
// connect time.
//
// Its rules hold for every exchange: a reply that does not come in time, or
// that cannot be read, drops the connection, as a late reply would be taken
// for the answer to the next command; so does a send that fails on the wire.
// Once the session is open, a 421 is the server hanging up: the connection
// is dropped and the exchange fails with ErrorConnectionAborted.
class ControlChannel
{
public:
    // Resolves and connects within the timeout.
    static Result<std::unique_ptr<ControlChannel>> connect(const ServerAddress &server, int timeoutMs);
    ~ControlChannel();

    // Sends one command line (CR LF added) and reads its reply. A command
    // holding CR, LF or NUL fails with ErrorInvalidParameter before anything
    // is sent, and leaves the connection as it was.
    Result<Reply> command(const QString &line);
    // Reads one complete reply (multi-line replies included), waiting at
    // most waitMs, or the connection's timeout.
    Result<Reply> readReply();
    Result<Reply> readReply(int waitMs);
    // True when something has arrived, or arrives within waitMs.
    [[nodiscard]] bool replyPending(int waitMs);

    // Called before a wait for the server that may last.
    void setWaitHook(WaitHook hook) { mWaitHook = std::move(hook); }
    const WaitHook &waitHook() const { return mWaitHook; }

    // From now on a 421 means that the server hangs up on the session.
    // Before that, while logging in, it is a refusal like any other negative
    // reply, and its text ("too many users") says why.
    void sessionOpened() { mSessionOpen = true; }

    // After a transfer was abandoned: takes the server's reply to it, or
    // drops the connection when none comes within waitMs, so that no stale
    // reply is read as the answer to a later command.
    void resynchronize(int waitMs);

    // Encrypts the connection from its first byte on (implicit TLS), or
    // after asking with AUTH TLS (explicit); the server's certificate is
    // judged by the policy under the name host. On any failure the
    // connection is dropped: nothing more is sent on it, credentials least
    // of all. A server that refuses AUTH TLS fails with
    // ErrorEncryptionRefused.
    Status encrypt(const TrustPolicy &policy, const QString &host);
    Status startTls(const TrustPolicy &policy, const QString &host);
    [[nodiscard]] bool isEncrypted() const;
    // What the data connections of an encrypted connection resume and must
    // match. The session is read afresh each time: with TLS 1.3 the server
    // sends it only after the handshake.
    ControlTls tls() const;

    // Sends QUIT and waits a short while for its answer, then drops the line.
    void quit();
    // Drops the connection at once, without a word to the server.
    void abort();

    [[nodiscard]] bool isOpen() const;
    int timeoutMs() const { return mTimeoutMs; }
    QHostAddress localAddress() const;
    QHostAddress peerAddress() const;

private:
    ControlChannel(std::unique_ptr<QSslSocket> socket, int timeoutMs);

    Result<Reply> exchange(const QString &line, int waitMs);
    Status send(const QString &line, QDeadlineTimer deadline);
    Result<Reply> receive(QDeadlineTimer deadline);
    Result<QByteArray> readLine(QDeadlineTimer deadline);
    Failure drop(Failure failure);

    std::unique_ptr<QSslSocket> mSocket;
    QString mTlsHost;
    int mTimeoutMs;
    bool mSessionOpen = false;
    WaitHook mWaitHook;
};

} // namespace inet
