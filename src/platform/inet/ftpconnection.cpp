#include "platform/inet/ftpconnection.h"

#include "platform/inet/errors.h"
#include "platform/inet/session.h"

namespace inet {

namespace {

// The server's own words when it said no; its reply is already the
// thread's last response.
bool failWithReply()
{
    setLastError(ErrorExtendedError);
    return false;
}

// A server that repeats the password in its reply must not make us show or
// log it.
void hidePassword(const QString &password)
{
    if (password.size() < 4)
        return;
    QString text = lastResponseInfo();
    if (text.contains(password)) {
        text.replace(password, QStringLiteral("********"));
        setLastResponseInfo(text);
    }
}

bool readGreeting(ControlChannel &control)
{
    Reply reply;
    do {
        if (!control.readReply(reply))
            return false;
    } while (reply.positivePreliminary()); // "120 ready in a few minutes"
    if (reply.positiveCompletion())
        return true;
    if (reply.negative())
        return failWithReply();
    setLastError(ErrorInvalidServerResponse);
    return false;
}

bool logIn(ControlChannel &control, const QString &user, const QString &password)
{
    Reply reply;
    if (!control.command(QStringLiteral("USER ") + user, reply))
        return false;
    if (reply.positiveCompletion())
        return true;
    if (reply.code != 331)
        return failWithReply();

    const bool answered = control.command(QStringLiteral("PASS ") + password, reply);
    if (!answered)
        return false;
    hidePassword(password);
    if (reply.positiveCompletion())
        return true;
    // Also 332 (an account is wanted): we have none to give.
    return failWithReply();
}

} // namespace

FtpConnection::FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options)
    : mControl(std::move(control)), mOptions(options)
{
}

FtpConnection::~FtpConnection()
{
    mControl->quit();
}

std::unique_ptr<FtpConnection> FtpConnection::open(const Session &session, const QString &server,
                                                   const QString &user, const QString &password,
                                                   const ConnectOptions &options)
{
    const auto address = parseServer(server);
    if (!address) {
        setLastError(ErrorNameNotResolved);
        return nullptr;
    }
    auto control = ControlChannel::connect(*address, session.timeoutMs());
    if (!control)
        return nullptr;
    if (!readGreeting(*control) || !logIn(*control, user, password))
        return nullptr;
    return std::unique_ptr<FtpConnection>(new FtpConnection(std::move(control), options));
}

} // namespace inet
