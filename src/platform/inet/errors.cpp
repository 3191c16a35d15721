#include "platform/inet/errors.h"

#include "platform/inet/result.h"

namespace inet {

namespace {
thread_local int tLastError = NoError;
thread_local QString tLastResponse;
thread_local QString tLastDetail;
} // namespace

int lastError()
{
    return tLastError;
}

void setLastError(int code)
{
    tLastError = code;
    tLastDetail.clear();
}

QString lastResponseInfo()
{
    return tLastResponse;
}

QString lastErrorDetail()
{
    return tLastDetail;
}

void setLastFailure(const Failure &failure)
{
    tLastError = failure.code;
    tLastDetail = failure.detail;
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
    case ErrorInvalidUrl:
        text = "The server address is not a valid URL";
        break;
    case ErrorUnrecognizedScheme:
        text = "The scheme of the server address is not one this client speaks";
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
    case ErrorCertificateDateInvalid:
        text = "The server's certificate has expired or is not yet valid";
        break;
    case ErrorCertificateNameInvalid:
        text = "The server's certificate is made out to another name";
        break;
    case ErrorInvalidCa:
        text = "The server's certificate is not vouched for by a trusted authority";
        break;
    case ErrorTransferInProgress:
        text = "Another operation is already in progress on this connection";
        break;
    case ErrorInvalidServerResponse:
        text = "The server response could not be understood";
        break;
    case ErrorSecurityChannel:
        text = "The encrypted channel to the server could not be set up";
        break;
    case ErrorInvalidCertificate:
        text = "The server's certificate or key is not the one expected";
        break;
    case ErrorEncryptionRefused:
        text = "The server refuses encryption, so the connection was not used";
        break;
    default:
        return QString();
    }
    return QString::fromLatin1(text) + QStringLiteral("\r\n");
}

} // namespace inet
