#include "platform/inet/ftpconnection.h"

#include <QFile>
#include <QSaveFile>
#include <QSslSocket>

#include "platform/inet/datachannel.h"
#include "platform/inet/errors.h"
#include "platform/inet/session.h"

namespace inet {

namespace {

// A listing larger than this is not a directory but an attack.
constexpr qsizetype MaxListingBytes = 64 * 1024 * 1024;
constexpr qint64 CopyBlockBytes = 256 * 1024;

// The server's own words when it said no; its reply is already the
// thread's last response.
bool failWithReply(const Reply &reply)
{
    setLastError(reply.negative() ? ErrorExtendedError : ErrorInvalidServerResponse);
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

bool safe(const QString &argument)
{
    return !argument.contains(QLatin1Char('\r')) && !argument.contains(QLatin1Char('\n'))
           && !argument.contains(QChar(0));
}

bool readGreeting(ControlChannel &control)
{
    Reply reply;
    do {
        if (!control.readReply(reply))
            return false;
    } while (reply.positivePreliminary()); // "120 ready in a few minutes"
    return reply.positiveCompletion() || failWithReply(reply);
}

bool logIn(ControlChannel &control, const QString &user, const QString &password)
{
    Reply reply;
    if (!control.command(QStringLiteral("USER ") + user, reply))
        return false;
    if (reply.positiveCompletion())
        return true;
    if (reply.code != 331)
        return failWithReply(reply);

    const bool answered = control.command(QStringLiteral("PASS ") + password, reply);
    if (!answered)
        return false;
    hidePassword(password);
    // Also 332 (an account is wanted) fails: we have none to give.
    return reply.positiveCompletion() || failWithReply(reply);
}

// "257 "/some ""quoted"" dir" is created" -> /some "quoted" dir
std::optional<QString> parsePwd(const QString &text)
{
    const qsizetype open = text.indexOf(QLatin1Char('"'));
    if (open < 0)
        return std::nullopt;
    QString path;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                path += c;
                ++i;
                continue;
            }
            return path;
        }
        path += c;
    }
    return std::nullopt;
}

} // namespace

FtpConnection::FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options)
    : mControl(std::move(control)), mOptions(options)
{}

FtpConnection::~FtpConnection()
{
    mControl->quit();
}

std::unique_ptr<FtpConnection> FtpConnection::open(const Session &session, const QString &server, const QString &user,
                                                   const QString &password, const ConnectOptions &options)
{
    if (!safe(user) || !safe(password)) {
        setLastError(ErrorInvalidParameter);
        return nullptr;
    }
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

bool FtpConnection::ready(std::initializer_list<QString> arguments)
{
    for (const QString &argument : arguments) {
        if (!safe(argument)) {
            setLastError(ErrorInvalidParameter);
            return false;
        }
    }
    if (mBusy) {
        setLastError(ErrorTransferInProgress);
        return false;
    }
    if (!mControl->isOpen()) {
        setLastError(ErrorConnectionAborted);
        return false;
    }
    return true;
}

bool FtpConnection::readReply(Reply &reply)
{
    if (!mControl->readReply(reply)) {
        // A reply that never came leaves us out of step with the server for
        // good: a late answer would be taken for the next command's.
        if (lastError() == ErrorTimeout)
            mControl->abort();
        return false;
    }
    if (reply.code == 421) {
        mControl->abort();
        setLastError(ErrorConnectionAborted);
        return false;
    }
    return true;
}

bool FtpConnection::run(const QString &command, Reply &reply)
{
    if (!mControl->send(command)) {
        if (lastError() != ErrorInvalidParameter)
            mControl->abort();
        return false;
    }
    return readReply(reply);
}

bool FtpConnection::simple(const QString &command, const QString &argument)
{
    if (!ready({argument}))
        return false;
    Reply reply;
    if (!run(command + QLatin1Char(' ') + argument, reply))
        return false;
    return reply.positiveCompletion() || failWithReply(reply);
}

bool FtpConnection::deleteFile(const QString &path)
{
    return simple(QStringLiteral("DELE"), path);
}

bool FtpConnection::createDirectory(const QString &path)
{
    return simple(QStringLiteral("MKD"), path);
}

bool FtpConnection::removeDirectory(const QString &path)
{
    return simple(QStringLiteral("RMD"), path);
}

bool FtpConnection::setCurrentDirectory(const QString &path)
{
    return simple(QStringLiteral("CWD"), path);
}

bool FtpConnection::renameFile(const QString &from, const QString &to)
{
    if (!ready({from, to}))
        return false;
    Reply reply;
    if (!run(QStringLiteral("RNFR ") + from, reply))
        return false;
    if (reply.code != 350)
        return failWithReply(reply);
    if (!run(QStringLiteral("RNTO ") + to, reply))
        return false;
    return reply.positiveCompletion() || failWithReply(reply);
}

bool FtpConnection::currentDirectory(QString &path)
{
    if (!ready({}))
        return false;
    Reply reply;
    if (!run(QStringLiteral("PWD"), reply))
        return false;
    if (reply.code != 257)
        return failWithReply(reply);
    const auto parsed = parsePwd(reply.text);
    if (!parsed) {
        setLastError(ErrorInvalidServerResponse);
        return false;
    }
    path = *parsed;
    return true;
}

bool FtpConnection::setType(TransferType type)
{
    if (mType == type)
        return true;
    Reply reply;
    if (!run(type == TransferType::Binary ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A"), reply))
        return false;
    if (!reply.positiveCompletion())
        return failWithReply(reply);
    mType = type;
    return true;
}

std::unique_ptr<QSslSocket> FtpConnection::startData(const QString &command)
{
    auto channel = DataChannel::open(*mControl, mOptions.mode, mEpsvRefused);
    if (!channel) {
        if (lastError() == ErrorTimeout || lastError() == ErrorConnectionAborted)
            mControl->abort();
        return nullptr;
    }
    Reply reply;
    if (!run(command, reply))
        return nullptr;
    if (!reply.positivePreliminary()) {
        failWithReply(reply);
        return nullptr;
    }
    bool replyRead = false;
    if (!channel->establish(*mControl, reply, replyRead)) {
        if (!replyRead)
            mControl->abort(); // the server may still connect or answer later
        return nullptr;
    }
    return channel->takeSocket();
}

std::unique_ptr<FtpFile> FtpConnection::openFile(const QString &path, FileAccess access, TransferType type)
{
    if (!ready({path}) || !setType(type))
        return nullptr;
    auto data = startData((access == FileAccess::Read ? QStringLiteral("RETR ") : QStringLiteral("STOR ")) + path);
    if (!data)
        return nullptr;
    return std::make_unique<FtpFile>(*this, std::move(data), access);
}

bool FtpConnection::knowsMlsd()
{
    if (!mMlsd) {
        Reply reply;
        if (!run(QStringLiteral("FEAT"), reply))
            return false;
        bool mlsd = false;
        if (reply.positiveCompletion()) {
            for (const QString &line : reply.text.split(QStringLiteral("\r\n"))) {
                const QString feature = line.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
                mlsd = mlsd || feature == QLatin1String("MLSD") || feature == QLatin1String("MLST");
            }
        }
        mMlsd = mlsd;
    }
    return *mMlsd;
}

std::unique_ptr<FtpSearch> FtpConnection::findFirstFile(const QString &pattern)
{
    if (!ready({pattern}))
        return nullptr;
    const qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
    const QString directory = pattern.left(slash + 1);
    QString name = pattern.mid(slash + 1);
    if (name.isEmpty())
        name = QStringLiteral("*");

    const bool mlsd = knowsMlsd();
    if (!mControl->isOpen())
        return nullptr;
    if (mlsd && !hasWildcard(name))
        return findOne(directory + name);
    // Listings are text; the type is set like for any transfer.
    if (!setType(TransferType::Ascii))
        return nullptr;
    QString command = mlsd ? QStringLiteral("MLSD") : QStringLiteral("LIST");
    if (!directory.isEmpty())
        command += QLatin1Char(' ') + directory;
    auto data = startData(command);
    if (!data)
        return nullptr;

    QByteArray body;
    {
        FtpFile listing(*this, std::move(data), FileAccess::Read);
        char block[64 * 1024];
        for (;;) {
            const qint64 n = listing.read(block, sizeof block);
            if (n < 0)
                return nullptr;
            if (n == 0)
                break;
            body.append(block, n);
            if (body.size() > MaxListingBytes) {
                setLastError(ErrorInvalidServerResponse);
                return nullptr;
            }
        }
        if (!listing.close())
            return nullptr;
    }

    QList<RemoteEntry> matches;
    for (RemoteEntry &entry : parseListing(QString::fromUtf8(body), mlsd)) {
        // Some servers answer with paths; the name is what follows the last "/".
        entry.name = entry.name.mid(entry.name.lastIndexOf(QLatin1Char('/')) + 1);
        if (entry.name.isEmpty() || entry.name == QLatin1String(".") || entry.name == QLatin1String(".."))
            continue;
        if (wildcardMatch(name, entry.name))
            matches.append(entry);
    }
    if (matches.isEmpty()) {
        setLastError(ErrorNoMoreFiles);
        return nullptr;
    }
    return std::make_unique<FtpSearch>(*this, std::move(matches));
}

// One name needs no listing of its whole folder: the server describes that
// entry alone on the control connection. A job of many files would
// otherwise list the folder again for every file.
std::unique_ptr<FtpSearch> FtpConnection::findOne(const QString &path)
{
    Reply reply;
    if (!run(QStringLiteral("MLST ") + path, reply))
        return nullptr;
    if (reply.code == 550) {
        setLastError(ErrorNoMoreFiles);
        return nullptr;
    }
    if (reply.code != 250) {
        failWithReply(reply);
        return nullptr;
    }
    // The facts are the one line that starts with a blank.
    for (const QString &line : reply.text.split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(QLatin1Char(' ')))
            continue;
        auto entry = parseMlsdLine(QStringView(line).mid(1));
        if (!entry)
            break;
        entry->name = entry->name.mid(entry->name.lastIndexOf(QLatin1Char('/')) + 1);
        if (entry->name.isEmpty() || entry->name == QLatin1String(".") || entry->name == QLatin1String(".."))
            break;
        return std::make_unique<FtpSearch>(*this, QList<RemoteEntry>{*entry});
    }
    setLastError(ErrorNoMoreFiles);
    return nullptr;
}

bool FtpConnection::putFile(const QString &localPath, const QString &remotePath, TransferType type)
{
    QFile local(localPath);
    if (!local.open(QIODevice::ReadOnly)) {
        setLastError(local.exists() ? ErrorAccessDenied : ErrorFileNotFound);
        return false;
    }
    auto remote = openFile(remotePath, FileAccess::Write, type);
    if (!remote)
        return false;
    QByteArray block(CopyBlockBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = local.read(block.data(), block.size());
        if (n < 0) {
            setLastError(ErrorAccessDenied);
            return false;
        }
        if (n == 0)
            break;
        if (!remote->write(block.constData(), n))
            return false;
    }
    return remote->close();
}

bool FtpConnection::getFile(const QString &remotePath, const QString &localPath, TransferType type)
{
    QSaveFile local(localPath);
    if (!local.open(QIODevice::WriteOnly)) {
        setLastError(ErrorAccessDenied);
        return false;
    }
    auto remote = openFile(remotePath, FileAccess::Read, type);
    if (!remote)
        return false;
    QByteArray block(CopyBlockBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = remote->read(block.data(), block.size());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (local.write(block.constData(), n) != n) {
            setLastError(ErrorAccessDenied);
            return false;
        }
    }
    if (!remote->close())
        return false;
    if (!local.commit()) {
        setLastError(ErrorAccessDenied);
        return false;
    }
    return true;
}

void FtpConnection::resynchronize(int waitMs)
{
    if (!mControl->isOpen())
        return;
    const int timeout = mControl->timeoutMs();
    mControl->setTimeoutMs(waitMs);
    Reply reply;
    const bool answered = mControl->readReply(reply);
    mControl->setTimeoutMs(timeout);
    // A transfer cut short is answered by one reply (426, 451 or 226); a
    // second one right behind it (426 then 226) is taken too.
    if (!answered || reply.code == 421) {
        mControl->abort();
        return;
    }
    if (mControl->socket().bytesAvailable() > 0 || mControl->socket().waitForReadyRead(50))
        if (!mControl->readReply(reply))
            mControl->abort();
}

} // namespace inet
