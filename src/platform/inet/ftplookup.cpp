// Looking up one file by its exact name: its size and its hash. A job asks
// this of every file it moves, so none of it lists a folder or matches a
// pattern where the server can say it directly.

#include "platform/inet/ftpconnection.h"

namespace inet {

namespace {

// Replies of a server that does not know a command at all.
bool unknownCommand(const Reply &reply)
{
    return reply.code == 500 || reply.code == 502;
}

// "213 1234" -> 1234
std::optional<qint64> parseSizeReply(const Reply &reply)
{
    const QString digits = reply.text.section(QStringLiteral("\r\n"), 0, 0).mid(4).trimmed();
    bool ok = false;
    const qint64 size = digits.toLongLong(&ok);
    if (!ok || size < 0 || digits.isEmpty() || !digits.at(0).isDigit())
        return std::nullopt;
    return size;
}

} // namespace

Result<qint64> FtpConnection::fileSize(const QString &path)
{
    return published(sizeOf(path));
}

Result<qint64> FtpConnection::sizeOf(const QString &path)
{
    if (const Status ok = ready({path}); !ok)
        return ok.failure();
    if (const Status asked = askFeatures(); !asked)
        return asked.failure();
    if (*mMlsd) {
        const Result<RemoteEntry> entry = describe(path);
        if (!entry)
            return entry.failure();
        // A fact set without a size tells us nothing we could check a
        // transfer against.
        if (entry->size < 0)
            return Failure{ErrorInvalidServerResponse};
        return entry->size;
    }
    // SIZE counts bytes only in binary mode (some servers refuse it in text
    // mode). The type stays binary for the transfer that usually follows.
    if (const Status typed = setType(TransferType::Binary); !typed)
        return typed.failure();
    const Result<Reply> reply = mControl->command(QStringLiteral("SIZE ") + path);
    if (!reply)
        return reply.failure();
    if (reply->code == 213) {
        const auto size = parseSizeReply(*reply);
        if (!size)
            return Failure{ErrorInvalidServerResponse, reply->text};
        return *size;
    }
    if (unknownCommand(*reply))
        return sizeFromFolder(path);
    if (reply->code == 550)
        return Failure{ErrorNoMoreFiles, reply->text};
    return reply->failure();
}

// A server too old for both SIZE and MLST: the entry of that name in its
// listing of the folder, compared as it is, never as a pattern.
Result<qint64> FtpConnection::sizeFromFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    QString command = QStringLiteral("LIST");
    if (slash >= 0)
        command += QLatin1Char(' ') + path.left(slash + 1);
    const Result<QByteArray> body = fetchListing(command);
    if (!body)
        return body.failure();
    for (RemoteEntry &parsed : parseListing(QString::fromUtf8(*body), false)) {
        const auto entry = searchEntry(std::move(parsed));
        if (!entry || entry->name != name || entry->isDirectory)
            continue;
        if (entry->size < 0)
            return Failure{ErrorInvalidServerResponse};
        return entry->size;
    }
    return Failure{ErrorNoMoreFiles};
}

Result<std::optional<HashMethod>> FtpConnection::hashMethod()
{
    return published(chooseHash());
}

Result<std::optional<HashMethod>> FtpConnection::chooseHash()
{
    if (mHash)
        return *mHash;
    if (const Status ok = ready({}); !ok)
        return ok.failure();
    if (const Status asked = askFeatures(); !asked)
        return asked.failure();

    std::optional<HashMethod> chosen;
    if (const auto feature = parseHashFeature(mFeatures)) {
        // HASH uses the server's current algorithm; we want the strongest
        // it has, and settle for the current one if it will not switch.
        const HashAlgorithm best = feature->offered.first();
        if (feature->current == best) {
            chosen = HashMethod{HashMethod::Command::Hash, best};
        } else {
            const Result<Reply> reply = mControl->command(QStringLiteral("OPTS HASH ") + hashName(best));
            if (!reply)
                return reply.failure();
            if (reply->positiveCompletion())
                chosen = HashMethod{HashMethod::Command::Hash, best};
            else if (feature->current)
                chosen = HashMethod{HashMethod::Command::Hash, *feature->current};
        }
    }
    if (!chosen) {
        // The older commands are rarely announced: a server that does not
        // know one says so, one that does wants a file name.
        const QList<HashAlgorithm> listed = listedXCommands(mFeatures);
        for (HashAlgorithm algorithm : HashPreference) {
            const Result<bool> known
                = listed.isEmpty() ? knowsCommand(hashXCommand(algorithm)) : Result<bool>(listed.contains(algorithm));
            if (!known)
                return known.failure();
            if (*known) {
                chosen = HashMethod{HashMethod::Command::XCommand, algorithm};
                break;
            }
        }
    }
    mHash = chosen;
    return chosen;
}

Result<bool> FtpConnection::knowsCommand(const QString &command)
{
    const Result<Reply> reply = mControl->command(command);
    if (!reply)
        return reply.failure();
    return !unknownCommand(*reply);
}

Result<QString> FtpConnection::fileHash(const QString &path, const HashMethod &method)
{
    return published(hashOf(path, method));
}

Result<QString> FtpConnection::hashOf(const QString &path, const HashMethod &method)
{
    if (const Status ok = ready({path}); !ok)
        return ok.failure();
    const QString command
        = method.command == HashMethod::Command::Hash ? QStringLiteral("HASH") : hashXCommand(method.algorithm);
    const Result<Reply> reply = mControl->command(command + QLatin1Char(' ') + path);
    if (!reply)
        return reply.failure();
    if (!reply->positiveCompletion())
        return reply->failure();
    const auto hex = parseHashReply(*reply, method);
    if (!hex)
        return Failure{ErrorInvalidServerResponse, reply->text};
    return *hex;
}

} // namespace inet
