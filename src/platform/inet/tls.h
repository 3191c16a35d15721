#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include "platform/inet/options.h"
#include "platform/inet/result.h"
#include "platform/inet/wait.h"

class QSslSocket;

// TLS for FTP connections: the client side of every handshake, the judgement
// of the server's certificate, the resumption of the control connection's
// session on the data connections, and the clean end of an encrypted upload.
namespace inet {

// Whom encrypted connections trust, read and checked before anything goes
// out on the network.
class TrustPolicy
{
public:
    // Fails with ErrorInvalidParameter, and a detail that says why, when
    // the CA file holds no certificate or the pin is not "sha256//" and the
    // base64 of 32 bytes.
    static Result<TrustPolicy> from(const TrustOptions &options);

    [[nodiscard]] bool pinned() const { return !mPin.isEmpty(); }

    // Encrypts a control connection: runs the handshake within the deadline
    // and judges the server's certificate: the pin alone when there is one,
    // else the chain against our authorities and the name against host.
    // Nothing but the handshake has passed when a refusal comes back.
    Status encrypt(QSslSocket &socket, const QString &host, QDeadlineTimer deadline) const;

private:
    Status judge(QSslSocket &socket, const QString &host) const;

    QList<QSslCertificate> mAuthorities; // empty: the system's
    QByteArray mPin;                     // SHA-256 of the key's DER, or empty
};

// What the data connections of an encrypted control connection need from it.
struct ControlTls
{
    QString host;
    QByteArray sessionTicket; // the session to resume, as the latest ticket has it
    QSslCertificate certificate;
};

// Encrypts a data connection as the client, whoever connected to whom,
// resuming the control connection's session; the server must present the
// control connection's certificate. A handshake the server does not answer
// at once calls the hook first.
Status encryptData(QSslSocket &socket, const ControlTls &control, QDeadlineTimer deadline, const WaitHook &hook);

// Ends an encrypted data connection we wrote to: our close_notify, the
// server's answer read, then the socket closed. Fails only when our data
// could not be handed to the network. A server slow to answer gets the hook
// called first.
Status closeEncrypted(QSslSocket &socket, QDeadlineTimer deadline, const WaitHook &hook);

// "sha256//BASE64" of the certificate's public key, in the form of curl's
// --pinnedpubkey.
QString publicKeyPin(const QSslCertificate &certificate);

} // namespace inet
