#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <memory>

#include "platform/inet/server.h"

class QSslSocket;

namespace inet {

// One reply of the server: its three-digit code and its whole text, every
// line with its CR LF, as the server sent it.
struct Reply
{
    int code = 0;
    QString text;

    bool positivePreliminary() const { return code / 100 == 1; }
    bool positiveCompletion() const { return code / 100 == 2; }
    bool positiveIntermediate() const { return code / 100 == 3; }
    bool negative() const { return code / 100 == 4 || code / 100 == 5; }
};

// The control connection of an FTP session. Every wait is bounded by the
// timeout given at connect time. A failing call sets lastError() and, for
// every reply it reads, lastResponseInfo().
class ControlChannel
{
public:
    // Resolves and connects within the timeout; null on failure.
    static std::unique_ptr<ControlChannel> connect(const ServerAddress &server, int timeoutMs);
    ~ControlChannel();

    // Sends one command line (CR LF added). Refuses a command holding CR,
    // LF or NUL with ErrorInvalidParameter, before anything is sent.
    bool send(const QString &command);
    // Reads one complete reply (multi-line replies included).
    bool readReply(Reply &reply);
    // send() and readReply() together.
    bool command(const QString &command, Reply &reply);

    // Sends QUIT and waits a short while for its answer, then drops the line.
    void quit();

    // Drops the connection at once, without a word to the server.
    void abort();

    bool isOpen() const;
    int timeoutMs() const { return mTimeoutMs; }
    void setTimeoutMs(int ms) { mTimeoutMs = ms; }
    QSslSocket &socket() { return *mSocket; }

private:
    ControlChannel(std::unique_ptr<QSslSocket> socket, int timeoutMs);

    bool readLine(QByteArray &line, QDeadlineTimer deadline);
    void failAborted();

    std::unique_ptr<QSslSocket> mSocket;
    int mTimeoutMs;
};

// Establishes a TCP connection to one of the server's addresses within the
// deadline. Used for the control connection and passive data connections.
std::unique_ptr<QSslSocket> connectSocket(const ServerAddress &server, QDeadlineTimer deadline);

} // namespace inet
