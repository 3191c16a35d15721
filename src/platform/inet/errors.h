#pragma once

#include <QString>

// The error codes of the Internet client layer. They keep the numbers of the
// desktop Internet library family, so that error texts read as users of
// such tools expect.
namespace inet {

enum Error : int {
    NoError = 0,
    ErrorFileNotFound = 2,
    ErrorAccessDenied = 5,
    ErrorNoMoreFiles = 18,
    ErrorInvalidParameter = 87,
    ErrorTimeout = 12002,
    ErrorExtendedError = 12003,
    ErrorInternalError = 12004,
    ErrorInvalidUrl = 12005,
    ErrorUnrecognizedScheme = 12006,
    ErrorNameNotResolved = 12007,
    ErrorIncorrectHandleState = 12019,
    ErrorCannotConnect = 12029,
    ErrorConnectionAborted = 12030,
    ErrorCertificateDateInvalid = 12037,
    ErrorCertificateNameInvalid = 12038,
    ErrorInvalidCa = 12045,
    ErrorTransferInProgress = 12110,
    ErrorInvalidServerResponse = 12152,
    ErrorSecurityChannel = 12157,
    ErrorInvalidCertificate = 12169,
    ErrorEncryptionRefused = 12171,
};

// The calling thread's last error code, as the last failing call left it.
int lastError();
void setLastError(int code);

// The server's reply that caused the last failure on this thread that had
// one, every line with its CR LF.
QString lastResponseInfo();

// What the last failure on this thread said about itself beyond its code
// ("certificate for ftp.example.org has expired on 2026-01-01"); empty
// when it said nothing more.
QString lastErrorDetail();

struct Failure;
// Makes the failure the calling thread's last error, its detail the last
// error detail and, when it carries a reply, that reply the last response
// info. The layer's public operations
// call this on their way out, and nothing inside the layer does.
void setLastFailure(const Failure &failure);

// The layer's own text for one of its codes, ending in CR LF; empty for
// codes it has no text for (plain system codes).
QString messageText(int code);

} // namespace inet
