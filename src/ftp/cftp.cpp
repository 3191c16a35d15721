// The session side of cFTP: creation, connecting, the mode setters and the
// failure text.

#include "ftp/cftp.h"

#include <QMetaMethod>
#include <QThread>

#include "platform/eventpump.h"
#include "platform/inet/errors.h"

namespace {
const QString AgentName = QStringLiteral("Yrdo FTP Client");
const QString ConnectLabel = QStringLiteral("InternetConnect");
// The server's reply is kept in a 2048-character area, terminator included.
constexpr qsizetype MaxResponseChars = 2047;
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
}

bool cFTP::OpenConnection(const QString &sServer, const QString &sUser, const QString &sPassword)
{
    hTransfer.reset();
    hConnection.reset();
    if (!hSession) {
        FormatTransferError(inet::Failure{inet::ErrorIncorrectHandleState}, ConnectLabel);
        return false;
    }
    inet::ConnectOptions options;
    options.mode = (lConnectFlags & INTERNET_FLAG_PASSIVE) ? inet::DataMode::Passive : inet::DataMode::Active;
    auto opened = inet::FtpConnection::open(*hSession, sServer, sUser, sPassword, options);
    if (!opened) {
        FormatTransferError(opened.failure(), ConnectLabel);
        return false;
    }
    hConnection = std::move(*opened);
    return true;
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
}

void cFTP::SetModePassive()
{
    lConnectFlags = INTERNET_FLAG_PASSIVE;
}

void cFTP::SetTimeout(int milliseconds)
{
    if (hSession)
        hSession->setTimeoutMs(milliseconds);
}

void cFTP::SetPacing(std::function<void()> pumpEvents, std::function<void(int)> sleep, std::function<void()> beforeWait)
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
        sLastError = failure.reply.left(MaxResponseChars);
        return;
    }
    sLastError = label + QStringLiteral(" error code: ") + QString::number(failure.code) + QStringLiteral(" Message: ")
                 + (message.isEmpty() ? inet::messageText(failure.code) : message);
}

void cFTP::FormatTransferError(int code, const QString &label, const QString &message)
{
    FormatTransferError(inet::Failure{code, inet::lastResponseInfo()}, label, message);
}

bool cFTP::failLocal(const QString &label, const QString &path, const QString &reason, int code)
{
    FormatTransferError(code, label, QStringLiteral("Local file %1: %2\r\n").arg(path, reason));
    return false;
}
