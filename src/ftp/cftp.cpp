// The session side of cFTP: creation, connecting, the mode setters and the
// failure text.

#include "ftp/cftp.h"

#include <QMetaMethod>
#include <QThread>

#include "platform/eventpump.h"
#include "platform/inet/errors.h"
#include "platform/inet/server.h"
#include "platform/secretmask.h"

namespace {
const QString AgentName = QStringLiteral("Yrdo FTP Client");
const QString ConnectLabel = QStringLiteral("InternetConnect");
// The server's reply is kept in a 2048-character area, terminator included.
constexpr qsizetype MaxResponseChars = 2047;
const QString PasswordMask = QStringLiteral("********");

// A failure in a few words, for a sentence: the server's own first line
// when it said no, else what the failure says of itself.
QString failureSummary(const inet::Failure &failure)
{
    if (failure.code == inet::ErrorExtendedError)
        return failure.reply.section(QStringLiteral("\r\n"), 0, 0);
    const QString text = failure.detail.isEmpty() ? inet::messageText(failure.code).trimmed() : failure.detail;
    return QStringLiteral("%1, error code %2").arg(text).arg(failure.code);
}
} // namespace

cFTP::cFTP(QObject *parent) : QObject(parent)
{
    mPump = EventPump();
    mSleep = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    Class_Initialize();
}

cFTP::~cFTP()
{
    Class_Terminate();
}

void cFTP::Class_Initialize()
{
    hSession = inet::Session::open(AgentName);
    if (!hSession)
        FormatTransferError(inet::lastError(), QStringLiteral("InternetOpen"));
    lTransferType = FTP_TRANSFER_TYPE_ASCII;
    lConnectFlags = 0;
    hConnection.reset();
}

void cFTP::Class_Terminate()
{
    // Dropping the session takes an open connection with it, which says
    // goodbye to the server on the way out.
    hTransfer.reset();
    hConnection.reset();
    hSession.reset();
}

QString cFTP::GetLastErrorMessage() const
{
    return sLastError;
}

void cFTP::CloseConnection()
{
    hTransfer.reset();
    hConnection.reset();
    mSizeAhead.reset();
}

bool cFTP::OpenConnection(const QString &sServer, const QString &sUser, const QString &sPassword)
{
    hTransfer.reset();
    hConnection.reset();
    mSizeAhead.reset();
    sSecret = sPassword;
    if (!hSession) {
        FormatTransferError(inet::Failure{inet::ErrorIncorrectHandleState}, ConnectLabel);
        return false;
    }
    inet::ConnectOptions options;
    options.mode = dataMode();
    options.security = securityFor(sServer);
    options.trust = mTrust;
    auto opened = inet::FtpConnection::open(*hSession, sServer, sUser, sPassword, options);
    if (!opened) {
        FormatTransferError(opened.failure(), ConnectLabel);
        return false;
    }
    hConnection = std::move(*opened);
    hConnection->whenFallingBackToActive([this](const inet::Failure &why) {
        emit notice(QStringLiteral("passive data connections failed (%1); active ones are used for the rest of "
                                   "the connection")
                        .arg(failureSummary(why)));
    });
    return true;
}

inet::DataMode cFTP::dataMode() const
{
    if (!(lConnectFlags & INTERNET_FLAG_PASSIVE))
        return inet::DataMode::Active;
    return mActiveFallback ? inet::DataMode::Auto : inet::DataMode::Passive;
}

inet::Security cFTP::securityFor(const QString &sServer) const
{
    return mSecurity.value_or(inet::schemeSecurity(sServer).value_or(inet::Security::None));
}

void cFTP::SetTransferASCII()
{
    lTransferType = FTP_TRANSFER_TYPE_ASCII;
}

void cFTP::SetTransferBinary()
{
    lTransferType = FTP_TRANSFER_TYPE_BINARY;
}

void cFTP::SetModeActive()
{
    lConnectFlags = 0;
    mActiveFallback = false;
}

void cFTP::SetModePassive()
{
    lConnectFlags = INTERNET_FLAG_PASSIVE;
    mActiveFallback = false;
}

void cFTP::SetModeAuto()
{
    lConnectFlags = INTERNET_FLAG_PASSIVE;
    mActiveFallback = true;
}

void cFTP::SetSecurity(std::optional<inet::Security> security, const inet::TrustOptions &trust)
{
    mSecurity = security;
    mTrust = trust;
}

void cFTP::SetTimeout(int milliseconds)
{
    if (hSession)
        hSession->setTimeoutMs(milliseconds);
}

void cFTP::SetPacing(std::function<void(int)> pumpEvents, std::function<void(int)> sleep,
                     std::function<void()> beforeWait)
{
    mPump = std::move(pumpEvents);
    mSleep = std::move(sleep);
    if (hSession)
        hSession->setWaitHook(std::move(beforeWait));
}

void cFTP::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&cFTP::FileTransferProgress))
        mProgressHeard = true;
}

// Called with no signal at all when everything was disconnected at once.
void cFTP::disconnectNotify(const QMetaMethod &)
{
    mProgressHeard = isSignalConnected(QMetaMethod::fromSignal(&cFTP::FileTransferProgress));
}

inet::FtpConnection *cFTP::connection()
{
    if (!hConnection)
        inet::setLastError(inet::ErrorIncorrectHandleState);
    return hConnection.get();
}

inet::TransferType cFTP::transferKind() const
{
    return lTransferType == FTP_TRANSFER_TYPE_BINARY ? inet::TransferType::Binary : inet::TransferType::Ascii;
}

void cFTP::dropDeadConnection()
{
    if (hConnection && !hConnection->isAlive()) {
        hTransfer.reset();
        hConnection.reset();
    }
}

bool cFTP::report(bool ok, const QString &label)
{
    if (ok)
        return true;
    FormatTransferError(inet::lastError(), label);
    dropDeadConnection();
    return false;
}

bool cFTP::report(const inet::Status &status, const QString &label)
{
    if (status)
        return true;
    failWith(status.failure(), label);
    return false;
}

void cFTP::failWith(const inet::Failure &failure, const QString &label)
{
    FormatTransferError(failure, label);
    dropDeadConnection();
}

void cFTP::FormatTransferError(const inet::Failure &failure, const QString &label, const QString &message)
{
    if (failure.code == inet::ErrorExtendedError) {
        // The server said no: its own words are the clearest text there is.
        sLastError = maskSecret(failure.reply.left(MaxResponseChars), sSecret, PasswordMask);
        return;
    }
    // What the failure says of itself (which certificate, which date) is
    // more use than the general text of its code.
    QString text = message;
    if (text.isEmpty())
        text = failure.detail.isEmpty() ? inet::messageText(failure.code) : failure.detail + QStringLiteral("\r\n");
    sLastError = maskSecret(label + QStringLiteral(" error code: ") + QString::number(failure.code)
                                + QStringLiteral(" Message: ") + text,
                            sSecret, PasswordMask);
}

void cFTP::FormatTransferError(int code, const QString &label, const QString &message)
{
    inet::Failure failure{code, inet::lastResponseInfo()};
    if (code == inet::lastError())
        failure.detail = inet::lastErrorDetail();
    FormatTransferError(failure, label, message);
}

bool cFTP::failLocal(const QString &label, const QString &path, const QString &reason, int code)
{
    FormatTransferError(code, label, QStringLiteral("Local file %1: %2\r\n").arg(path, reason));
    return false;
}
