#include "platform/inet/tls.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSslKey>
#include <QSslSocket>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/inet/socket.h"

namespace inet {

namespace {

const QString PinPrefix = QStringLiteral("sha256//");

QByteArray keyDigest(const QSslCertificate &certificate)
{
    return QCryptographicHash::hash(certificate.publicKey().toDer(), QCryptographicHash::Sha256);
}

// The base configuration of every connection we encrypt: TLS 1.2 or later,
// and sessions kept, so that the data connections can resume them.
QSslConfiguration clientConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::SecureProtocols);
    configuration.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    return configuration;
}

QString date(const QDateTime &when)
{
    return when.toUTC().date().toString(Qt::ISODate);
}

QString namesOf(const QSslCertificate &certificate)
{
    QStringList names = certificate.subjectAlternativeNames().values();
    for (const QString &common : certificate.subjectInfo(QSslCertificate::CommonName)) {
        if (!names.contains(common))
            names.append(common);
    }
    return names.isEmpty() ? QStringLiteral("no name at all") : names.join(QStringLiteral(", "));
}

bool untrusted(QSslError::SslError error)
{
    switch (error) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::InvalidCaCertificate:
        return true;
    default:
        return false;
    }
}

// The one refusal a person needs to hear about, of all the errors the
// verification found: whether anybody vouches for the certificate comes
// before its dates, and its dates before its name.
Failure certificateFailure(const QList<QSslError> &errors, const QSslCertificate &leaf, const QString &host)
{
    const QString subject = QStringLiteral("certificate for %1").arg(host);
    for (const QSslError &error : errors) {
        if (!untrusted(error.error()))
            continue;
        if (leaf.isSelfSigned())
            return Failure::because(ErrorInvalidCa,
                                    subject
                                        + QStringLiteral(" is self-signed, and no trusted authority or pinned key "
                                                         "vouches for it"));
        return Failure::because(
            ErrorInvalidCa,
            subject
                + QStringLiteral(" is issued by %1, which is not a trusted authority").arg(leaf.issuerDisplayName()));
    }
    for (const QSslError &error : errors) {
        if (error.error() == QSslError::CertificateExpired)
            return Failure::because(ErrorCertificateDateInvalid,
                                    subject + QStringLiteral(" has expired on %1").arg(date(leaf.expiryDate())));
        if (error.error() == QSslError::CertificateNotYetValid)
            return Failure::because(ErrorCertificateDateInvalid,
                                    subject
                                        + QStringLiteral(" is not valid before %1").arg(date(leaf.effectiveDate())));
    }
    for (const QSslError &error : errors) {
        if (error.error() == QSslError::HostNameMismatch)
            return Failure::because(ErrorCertificateNameInvalid,
                                    subject + QStringLiteral(" is made out to %1").arg(namesOf(leaf)));
    }
    return Failure::because(ErrorInvalidCertificate,
                            subject + QStringLiteral(" is refused: ") + errors.constFirst().errorString());
}

// Runs the client side of the handshake within the deadline.
Status handshake(QSslSocket &socket, const QString &host, QDeadlineTimer deadline, const WaitHook &hook = {})
{
    socket.startClientEncryption();
    if (hook) {
        // Our hello goes out now, so that a glance sees the server's answer.
        socket.flush();
        glanceBefore(socket.socketDescriptor(), POLLIN, deadline, hook);
    }
    while (!socket.isEncrypted()) {
        if (socket.waitForEncrypted(remainingMs(deadline)))
            break;
        if (!socket.sslHandshakeErrors().isEmpty())
            return certificateFailure(socket.sslHandshakeErrors(), socket.peerCertificate(), host);
        if (socket.state() != QAbstractSocket::ConnectedState || socket.error() != QAbstractSocket::UnknownSocketError)
            return Failure::because(ErrorSecurityChannel,
                                    QStringLiteral("TLS handshake with %1 failed: %2").arg(host, socket.errorString()));
        if (deadline.hasExpired())
            return Failure::because(ErrorTimeout,
                                    QStringLiteral("TLS handshake with %1 did not finish in time").arg(host));
    }
    return {};
}

} // namespace

Result<TrustPolicy> TrustPolicy::from(const TrustOptions &options)
{
    TrustPolicy policy;
    if (!options.pinnedKey.isEmpty()) {
        static const QRegularExpression form(QStringLiteral("^sha256//([A-Za-z0-9+/]{43}=)$"));
        const auto match = form.match(options.pinnedKey.trimmed());
        if (!match.hasMatch())
            return Failure::because(ErrorInvalidParameter,
                                    QStringLiteral("the pinned key must read sha256// and the base64 of a SHA-256 "
                                                   "(44 characters), not %1")
                                        .arg(options.pinnedKey));
        policy.mPin = QByteArray::fromBase64(match.captured(1).toLatin1());
    }
    if (!options.caFile.isEmpty()) {
        policy.mAuthorities
            = QSslCertificate::fromPath(options.caFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
        if (policy.mAuthorities.isEmpty())
            return Failure::because(ErrorInvalidParameter,
                                    QStringLiteral("no certificate could be read from the CA file %1%2")
                                        .arg(options.caFile, QFile::exists(options.caFile)
                                                                 ? QStringLiteral(" (PEM expected)")
                                                                 : QStringLiteral(" (no such file)")));
    }
    return policy;
}

Status TrustPolicy::encrypt(QSslSocket &socket, const QString &host, QDeadlineTimer deadline) const
{
    QSslConfiguration configuration = clientConfiguration();
    if (pinned()) {
        // The pin alone decides, after the handshake: a self-signed server
        // is as good as any, as long as it has that key.
        configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
    } else {
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!mAuthorities.isEmpty())
            configuration.setCaCertificates(mAuthorities);
    }
    socket.setSslConfiguration(configuration);
    socket.setPeerVerifyName(host);
    if (const Status done = handshake(socket, host, deadline); !done)
        return done;
    return judge(socket, host);
}

Status TrustPolicy::judge(QSslSocket &socket, const QString &host) const
{
    const QSslCertificate certificate = socket.peerCertificate();
    if (certificate.isNull())
        return Failure::because(ErrorInvalidCertificate, QStringLiteral("%1 presented no certificate").arg(host));
    if (pinned() && keyDigest(certificate) != mPin)
        return Failure::because(ErrorInvalidCertificate, QStringLiteral("public key of %1 is %2, not the pinned %3")
                                                             .arg(host, publicKeyPin(certificate),
                                                                  PinPrefix + QString::fromLatin1(mPin.toBase64())));
    return {};
}

Status encryptData(QSslSocket &socket, const ControlTls &control, QDeadlineTimer deadline, const WaitHook &hook)
{
    QSslConfiguration configuration = clientConfiguration();
    configuration.setSessionTicket(control.sessionTicket);
    // Judged below by being the control connection's certificate, which
    // was judged in full; no authorities need loading for that.
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setCaCertificates({});
    socket.setSslConfiguration(configuration);
    socket.setPeerVerifyName(control.host);
    if (const Status done = handshake(socket, control.host, deadline, hook); !done)
        return done;
    if (socket.peerCertificate() != control.certificate)
        return Failure::because(ErrorInvalidCertificate,
                                QStringLiteral("the data connection from %1 presented another certificate than the "
                                               "control connection")
                                    .arg(control.host));
    return {};
}

// Qt sends close_notify only together with closing the socket, and closing
// a socket that still holds unread data (the server's session tickets, its
// own close_notify) makes the kernel answer with a reset, which can destroy
// the tail of our upload before the server has read it. So the descriptor
// is held open past Qt's close: our close_notify and then our FIN go out,
// the server's answer is read up to its end, and only then is the socket
// closed, with nothing left unread.
Status closeEncrypted(QSslSocket &socket, QDeadlineTimer deadline, const WaitHook &hook)
{
    const int held = ::dup(static_cast<int>(socket.socketDescriptor()));
    if (!disconnectWithin(socket, deadline, hook)) {
        if (held >= 0)
            ::close(held);
        return Failure{deadline.hasExpired() ? ErrorTimeout : ErrorConnectionAborted};
    }
    if (held < 0)
        return {};
    ::shutdown(held, SHUT_WR);
    glanceBefore(held, POLLIN, deadline, hook);
    char sink[4096];
    for (;;) {
        pollfd readable{held, POLLIN, 0};
        if (::poll(&readable, 1, remainingMs(deadline)) <= 0)
            break; // the server is slow to answer; our data is out all the same
        const ssize_t n = ::read(held, sink, sizeof sink);
        if (n <= 0)
            break;
    }
    ::close(held);
    return {};
}

QString publicKeyPin(const QSslCertificate &certificate)
{
    return PinPrefix + QString::fromLatin1(keyDigest(certificate).toBase64());
}

} // namespace inet
