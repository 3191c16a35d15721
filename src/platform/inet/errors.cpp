#include "platform/inet/errors.h"

#include "platform/inet/result.h"

namespace inet {

namespace {
thread_local int tLastError = NoError;
thread_local QString tLastResponse;
} // namespace

int lastError()
{
    return tLastError;
}

void setLastError(int code)
{
    tLastError = code;
}

QString lastResponseInfo()
{
    return tLastResponse;
}

void setLastFailure(const Failure &failure)
{
    tLastError = failure.code;
    if (!failure.reply.isEmpty())
        tLastResponse = failure.reply;
}

QString messageText(int code)
{
    const char *text = nullptr;
    switch (code) {
    case ErrorTimeout:
        text = "The operation timed out";
        break;
    case ErrorExtendedError:
        text = "The server returned an error reply; its text is the last response information";
        break;
    case ErrorInternalError:
        text = "An internal error occurred in the Internet client";
        break;
    case ErrorNameNotResolved:
        text = "The server name could not be resolved";
        break;
    case ErrorIncorrectHandleState:
        text = "The operation is not valid in the current state of the connection";
        break;
    case ErrorCannotConnect:
        text = "A connection with the server could not be established";
        break;
    case ErrorConnectionAborted:
        text = "The connection with the server was terminated abnormally";
        break;
    case ErrorTransferInProgress:
        text = "Another operation is already in progress on this connection";
        break;
    case ErrorInvalidServerResponse:
        text = "The server response could not be understood";
        break;
    default:
        return QString();
    }
    return QString::fromLatin1(text) + QStringLiteral("\r\n");
}

} // namespace inet
