#include "platform/inet/ftpconnection.h"

#include <QFile>
#include <QSaveFile>
#include <QSslSocket>

#include "platform/inet/datachannel.h"
#include "platform/inet/session.h"
#include "platform/inet/socket.h"
#include "platform/inet/tls.h"
#include "platform/secretmask.h"

namespace inet {

namespace {

// A listing larger than this is not a directory but an attack.
constexpr qsizetype MaxListingBytes = 64 * 1024 * 1024;
constexpr qint64 ListingBlockBytes = 64 * 1024;
constexpr qint64 CopyBlockBytes = 256 * 1024;

// A server that repeats the password in its reply must not make us show or
// log it, however short it is.
Failure withoutPassword(Failure failure, const QString &password)
{
    failure.reply = maskSecret(failure.reply, password, QStringLiteral("********"));
    return failure;
}

Status readGreeting(ControlChannel &control)
{
    // "120 ready in a few minutes" may come before the greeting, but the
    // whole greeting has one deadline: a server that keeps saying it will be
    // ready soon is given up like one that says nothing.
    const QDeadlineTimer deadline(control.timeoutMs());
    for (;;) {
        if (deadline.hasExpired()) {
            control.abort();
            return Failure{ErrorTimeout};
        }
        const Result<Reply> reply = control.readReply(qMax(1, remainingMs(deadline)));
        if (!reply || !reply->positivePreliminary())
            return completed(reply);
    }
}

Status logIn(ControlChannel &control, const QString &user, const QString &password)
{
    const Result<Reply> userReply = control.command(QStringLiteral("USER ") + user);
    if (!userReply || userReply->code != 331)
        return completed(userReply);
    const Result<Reply> reply = control.command(QStringLiteral("PASS ") + password);
    // Also 332 (an account is wanted) fails: we have none to give.
    if (const Status in = completed(reply); !in)
        return withoutPassword(in.failure(), password);
    return {};
}

// Data connections are encrypted too (PBSZ 0, PROT P), or the connection is
// not used: a file must never travel in the clear on a site that asked for
// encryption.
Status protectData(ControlChannel &control, const QString &host)
{
    for (const QString &command : {QStringLiteral("PBSZ 0"), QStringLiteral("PROT P")}) {
        const Result<Reply> reply = control.command(command);
        if (!reply)
            return reply.failure();
        if (!reply->positiveCompletion()) {
            Failure refused = Failure::because(
                ErrorEncryptionRefused, QStringLiteral("%1 refuses to encrypt data connections (%2): %3")
                                            .arg(host, command, reply->text.section(QStringLiteral("\r\n"), 0, 0)));
            refused.reply = reply->text;
            return refused;
        }
    }
    return {};
}

// True when a passive data connection could not be made at all: passive
// mode refused (EPSV and PASV), or the server's port unreachable. A server
// that cannot find the file or a dropped control connection is no reason
// to try another mode.
bool passiveUnreachable(const Failure &failure)
{
    return failure.code == ErrorExtendedError || failure.code == ErrorTimeout || failure.code == ErrorCannotConnect;
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

// True when a FEAT reply names MLSD (or MLST, which brings it).
bool listsMlsd(const QString &features)
{
    for (const QString &line : features.split(QStringLiteral("\r\n"))) {
        const QString feature = line.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
        if (feature == QLatin1String("MLSD") || feature == QLatin1String("MLST"))
            return true;
    }
    return false;
}

} // namespace

FtpConnection::FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options)
    : mControl(std::move(control)), mOptions(options)
{}

FtpConnection::~FtpConnection()
{
    mControl->quit();
}

Result<std::unique_ptr<FtpConnection>> FtpConnection::open(const Session &session, const QString &server,
                                                           const QString &user, const QString &password,
                                                           const ConnectOptions &options)
{
    return published(connect(session, server, user, password, options));
}

Result<std::unique_ptr<FtpConnection>> FtpConnection::connect(const Session &session, const QString &server,
                                                              const QString &user, const QString &password,
                                                              const ConnectOptions &options)
{
    if (!fitsOneLine(user) || !fitsOneLine(password))
        return Failure{ErrorInvalidParameter};
    const bool encrypted = options.security != Security::None;
    // Whom to trust is settled before a single byte goes out.
    const Result<TrustPolicy> trust = encrypted ? TrustPolicy::from(options.trust) : TrustPolicy();
    if (!trust)
        return trust.failure();
    const auto address
        = parseServer(server, options.security == Security::ImplicitTls ? DefaultImplicitFtpsPort : DefaultFtpPort);
    if (!address)
        return address.failure();
    // Connecting may take a while; the window shows what it is doing first.
    if (session.waitHook())
        session.waitHook()();
    auto control = ControlChannel::connect(*address, session.timeoutMs());
    if (!control)
        return control.failure();
    (*control)->setWaitHook(session.waitHook());
    if (options.security == Security::ImplicitTls) {
        if (const Status secured = (*control)->encrypt(*trust, address->host); !secured)
            return secured.failure();
    }
    if (const Status greeted = readGreeting(**control); !greeted)
        return greeted.failure();
    if (options.security == Security::ExplicitTls) {
        if (const Status secured = (*control)->startTls(*trust, address->host); !secured)
            return secured.failure();
    }
    if (const Status in = logIn(**control, user, password); !in)
        return in.failure();
    if (encrypted) {
        if (const Status protectedData = protectData(**control, address->host); !protectedData)
            return protectedData.failure();
    }
    (*control)->sessionOpened();
    return std::unique_ptr<FtpConnection>(new FtpConnection(std::move(*control), options));
}

int FtpConnection::timeoutMs() const
{
    return mControl->timeoutMs();
}

const WaitHook &FtpConnection::waitHook() const
{
    return mControl->waitHook();
}

Result<Reply> FtpConnection::finalReply()
{
    return mControl->readReply();
}

void FtpConnection::resynchronize(int waitMs)
{
    mControl->resynchronize(waitMs);
}

void FtpConnection::release()
{
    mBusy = false;
}

std::unique_ptr<FtpFile> FtpConnection::newFile(std::unique_ptr<QSslSocket> data, FileAccess access)
{
    mBusy = true;
    return std::make_unique<FtpFile>(static_cast<ConnectionLink &>(*this), std::move(data), access);
}

std::unique_ptr<FtpSearch> FtpConnection::newSearch(QList<RemoteEntry> entries)
{
    mBusy = true;
    return std::make_unique<FtpSearch>(static_cast<ConnectionLink &>(*this), std::move(entries));
}

Status FtpConnection::ready(std::initializer_list<QString> arguments) const
{
    for (const QString &argument : arguments) {
        if (!fitsOneLine(argument))
            return Failure{ErrorInvalidParameter};
    }
    if (mBusy)
        return Failure{ErrorTransferInProgress};
    if (!mControl->isOpen())
        return Failure{ErrorConnectionAborted};
    return {};
}

Status FtpConnection::simple(const QString &command, const QString &argument)
{
    if (const Status ok = ready({argument}); !ok)
        return ok;
    return completed(mControl->command(command + QLatin1Char(' ') + argument));
}

Status FtpConnection::deleteFile(const QString &path)
{
    return published(simple(QStringLiteral("DELE"), path));
}

Status FtpConnection::createDirectory(const QString &path)
{
    return published(simple(QStringLiteral("MKD"), path));
}

Status FtpConnection::removeDirectory(const QString &path)
{
    return published(simple(QStringLiteral("RMD"), path));
}

Status FtpConnection::setCurrentDirectory(const QString &path)
{
    return published(changeDirectory(path));
}

Status FtpConnection::changeDirectory(const QString &path)
{
    // The server is there already: the same absolute path again would
    // change nothing, and a job asks for it before every file.
    const bool absolute = path.startsWith(QLatin1Char('/'));
    if (const Status ok = ready({path}); !ok || (absolute && mDirectory == path))
        return ok;
    mDirectory.reset();
    if (const Status changed = simple(QStringLiteral("CWD"), path); !changed)
        return changed;
    if (absolute)
        mDirectory = path;
    return {};
}

Status FtpConnection::renameFile(const QString &from, const QString &to)
{
    return published(rename(from, to));
}

Status FtpConnection::rename(const QString &from, const QString &to)
{
    if (const Status ok = ready({from, to}); !ok)
        return ok;
    if (const Result<Reply> pending = expect(mControl->command(QStringLiteral("RNFR ") + from), 350); !pending)
        return pending.failure();
    return completed(mControl->command(QStringLiteral("RNTO ") + to));
}

Result<QString> FtpConnection::currentDirectory()
{
    return published(workingDirectory());
}

Result<QString> FtpConnection::workingDirectory()
{
    if (const Status ok = ready({}); !ok)
        return ok.failure();
    const Result<Reply> reply = expect(mControl->command(QStringLiteral("PWD")), 257);
    if (!reply)
        return reply.failure();
    const auto path = parsePwd(reply->text);
    if (!path)
        return Failure{ErrorInvalidServerResponse, reply->text};
    return *path;
}

Status FtpConnection::setType(TransferType type)
{
    if (mType == type)
        return {};
    const QString command = type == TransferType::Binary ? QStringLiteral("TYPE I") : QStringLiteral("TYPE A");
    if (const Status set = completed(mControl->command(command)); !set)
        return set;
    mType = type;
    return {};
}

Result<std::unique_ptr<QSslSocket>> FtpConnection::startData(const QString &command,
                                                             Result<std::unique_ptr<DataChannel>> channel)
{
    if (!channel)
        return channel.failure();
    const Result<Reply> reply = mControl->command(command);
    if (!reply)
        return reply.failure();
    if (!reply->positivePreliminary())
        return reply->failure();
    return (*channel)->establish(*mControl);
}

Result<std::unique_ptr<DataChannel>> FtpConnection::openDataChannel()
{
    const DataMode mode = mOptions.mode == DataMode::Auto && mFallbackReason ? DataMode::Active : mOptions.mode;
    auto channel = DataChannel::open(*mControl, mode == DataMode::Auto ? DataMode::Passive : mode, mEpsvRefused);
    if (channel || mode != DataMode::Auto || !mControl->isOpen() || !passiveUnreachable(channel.failure())) {
        // A passive data connection that could not be made in time leaves
        // the server waiting for it: we can no longer be sure that the next
        // reply answers the next command.
        if (!channel && channel.failure().code == ErrorTimeout)
            mControl->abort();
        return channel;
    }
    // The server's passive ports cannot be reached from here (a firewall,
    // NAT) or it will not open them: it shall connect to us instead, for
    // the rest of this connection. Its passive listener, if any, is given
    // up by the PORT or EPRT that follows.
    mFallbackReason = channel.failure();
    if (mFallbackNote)
        mFallbackNote(*mFallbackReason);
    return DataChannel::open(*mControl, DataMode::Active, mEpsvRefused);
}

std::unique_ptr<FtpFile> FtpConnection::openFile(const QString &path, FileAccess access, TransferType type)
{
    Result<std::unique_ptr<FtpFile>> file = published(startTransfer(path, access, type));
    return file ? std::move(*file) : nullptr;
}

Result<std::unique_ptr<FtpFile>> FtpConnection::startTransfer(const QString &path, FileAccess access, TransferType type)
{
    if (const Status ok = ready({path}); !ok)
        return ok.failure();
    std::optional<Result<std::unique_ptr<DataChannel>>> ahead;
    ahead.swap(mDataAhead);
    if (ahead && !*ahead)
        return ahead->failure();
    if (const Status typed = setType(type); !typed)
        return typed.failure();
    auto data = startData((access == FileAccess::Read ? QStringLiteral("RETR ") : QStringLiteral("STOR ")) + path,
                          ahead ? std::move(*ahead) : openDataChannel());
    if (!data)
        return data.failure();
    return newFile(std::move(*data), access);
}

void FtpConnection::prepareTransfer(TransferType type)
{
    mDataAhead.reset();
    // A connection that is busy or gone has nothing to prepare: the
    // transfer itself says why it cannot start.
    if (!ready({}))
        return;
    if (const Status typed = setType(type); !typed) {
        mDataAhead.emplace(typed.failure());
        return;
    }
    mDataAhead.emplace(openDataChannel());
    if (mDataAhead->ok())
        (**mDataAhead)->takeEarlyConnection(*mControl);
}

Status FtpConnection::askFeatures()
{
    if (mMlsd)
        return {};
    const Result<Reply> reply = mControl->command(QStringLiteral("FEAT"));
    if (!reply)
        return reply.failure();
    mFeatures = reply->positiveCompletion() ? reply->text : QString();
    mMlsd = listsMlsd(mFeatures);
    return {};
}

Result<std::unique_ptr<FtpSearch>> FtpConnection::findFirstFile(const QString &pattern)
{
    return published(find(pattern));
}

Result<std::unique_ptr<FtpSearch>> FtpConnection::find(const QString &pattern)
{
    if (const Status ok = ready({pattern}); !ok)
        return ok.failure();
    const qsizetype slash = pattern.lastIndexOf(QLatin1Char('/'));
    const QString directory = pattern.left(slash + 1);
    QString name = pattern.mid(slash + 1);
    if (name.isEmpty())
        name = QStringLiteral("*");

    if (const Status asked = askFeatures(); !asked)
        return asked.failure();
    const bool mlsd = *mMlsd;
    if (mlsd && !hasWildcard(name))
        return findOne(directory + name);
    QString command = mlsd ? QStringLiteral("MLSD") : QStringLiteral("LIST");
    if (!directory.isEmpty())
        command += QLatin1Char(' ') + directory;
    const Result<QByteArray> body = fetchListing(command);
    if (!body)
        return body.failure();

    QList<RemoteEntry> matches;
    for (RemoteEntry &parsed : parseListing(QString::fromUtf8(*body), mlsd)) {
        const auto entry = searchEntry(std::move(parsed));
        if (entry && wildcardMatch(name, entry->name))
            matches.append(*entry);
    }
    if (matches.isEmpty())
        return Failure{ErrorNoMoreFiles};
    return newSearch(std::move(matches));
}

Result<QByteArray> FtpConnection::fetchListing(const QString &command)
{
    // A data connection set up for a transfer may have been kept waiting
    // for longer than its server cares to wait: a listing makes its own.
    mDataAhead.reset();
    // Listings are text; the type is set like for any transfer.
    if (const Status typed = setType(TransferType::Ascii); !typed)
        return typed.failure();
    auto data = startData(command, openDataChannel());
    if (!data)
        return data.failure();
    const std::unique_ptr<FtpFile> listing = newFile(std::move(*data), FileAccess::Read);
    QByteArray body;
    QByteArray block(ListingBlockBytes, Qt::Uninitialized);
    for (;;) {
        const Result<qint64> n = listing->readSome(block.data(), block.size());
        if (!n)
            return n.failure();
        if (*n == 0)
            break;
        body.append(block.constData(), *n);
        if (body.size() > MaxListingBytes)
            return Failure{ErrorInvalidServerResponse};
    }
    if (const Status closed = listing->finish(); !closed)
        return closed.failure();
    return body;
}

// One name needs no listing of its whole folder: the server describes that
// entry alone on the control connection. A job of many files would
// otherwise list the folder again for every file.
Result<std::unique_ptr<FtpSearch>> FtpConnection::findOne(const QString &path)
{
    Result<RemoteEntry> entry = describe(path);
    if (!entry)
        return entry.failure();
    return newSearch({std::move(*entry)});
}

Result<RemoteEntry> FtpConnection::describe(const QString &path)
{
    const Result<Reply> reply = mControl->command(QStringLiteral("MLST ") + path);
    if (!reply)
        return reply.failure();
    if (reply->code == 550)
        return Failure{ErrorNoMoreFiles, reply->text};
    if (reply->code != 250)
        return reply->failure();
    // The facts are the one line that starts with a blank.
    for (const QString &line : reply->text.split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(QLatin1Char(' ')))
            continue;
        auto parsed = parseMlsdLine(QStringView(line).mid(1));
        auto entry = parsed ? searchEntry(std::move(*parsed)) : std::nullopt;
        if (!entry)
            break;
        return std::move(*entry);
    }
    return Failure{ErrorNoMoreFiles};
}

Status FtpConnection::putFile(const QString &localPath, const QString &remotePath, TransferType type)
{
    return published(upload(localPath, remotePath, type));
}

Status FtpConnection::upload(const QString &localPath, const QString &remotePath, TransferType type)
{
    QFile local(localPath);
    if (!local.open(QIODevice::ReadOnly))
        return Failure{local.exists() ? ErrorAccessDenied : ErrorFileNotFound};
    auto remote = startTransfer(remotePath, FileAccess::Write, type);
    if (!remote)
        return remote.failure();
    QByteArray block(CopyBlockBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = local.read(block.data(), block.size());
        if (n < 0)
            return Failure{ErrorAccessDenied};
        if (n == 0)
            break;
        if (const Status written = (*remote)->writeAll(block.constData(), n); !written)
            return written;
    }
    return (*remote)->finish();
}

Status FtpConnection::getFile(const QString &remotePath, const QString &localPath, TransferType type)
{
    return published(download(remotePath, localPath, type));
}

Status FtpConnection::download(const QString &remotePath, const QString &localPath, TransferType type)
{
    QSaveFile local(localPath);
    if (!local.open(QIODevice::WriteOnly))
        return Failure{ErrorAccessDenied};
    auto remote = startTransfer(remotePath, FileAccess::Read, type);
    if (!remote)
        return remote.failure();
    QByteArray block(CopyBlockBytes, Qt::Uninitialized);
    for (;;) {
        const Result<qint64> n = (*remote)->readSome(block.data(), block.size());
        if (!n)
            return n.failure();
        if (*n == 0)
            break;
        if (local.write(block.constData(), *n) != *n)
            return Failure{ErrorAccessDenied};
    }
    if (const Status closed = (*remote)->finish(); !closed)
        return closed;
    if (!local.commit())
        return Failure{ErrorAccessDenied};
    return {};
}

} // namespace inet
