#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

#include "platform/inet/control.h"
#include "platform/inet/ftpfile.h"
#include "platform/inet/ftpsearch.h"
#include "platform/inet/link.h"
#include "platform/inet/options.h"
#include "platform/inet/remotehash.h"
#include "platform/inet/result.h"

class QSslSocket;

namespace inet {

class DataChannel;
class Session;

// One logged-in FTP connection. One operation runs at a time: while a file
// or a search is open, every other operation fails with
// ErrorTransferInProgress. Every operation refuses a name holding CR, LF or
// NUL (ErrorInvalidParameter) before anything is sent. A negative reply
// fails with ErrorExtendedError, the reply being the failure's text; a
// server that hangs up (421 or end of stream) fails with
// ErrorConnectionAborted and leaves the connection dead (isAlive() false).
//
// Every public operation also leaves its failure as the thread's
// lastError() (and its reply as lastResponseInfo()); a success leaves them
// alone.
class FtpConnection final : private ConnectionLink
{
public:
    // Connects, reads the greeting and logs in. An encrypted connection
    // (explicit or implicit TLS) sends its user name only after a
    // successful handshake with a server whose certificate was accepted,
    // and is used only when the server also encrypts the data connections.
    static Result<std::unique_ptr<FtpConnection>> open(const Session &session, const QString &server,
                                                       const QString &user, const QString &password,
                                                       const ConnectOptions &options);

    // Says goodbye (QUIT) briefly and drops the connection.
    ~FtpConnection();

    const ConnectOptions &options() const { return mOptions; }
    [[nodiscard]] bool isAlive() const { return mControl->isOpen(); }
    [[nodiscard]] bool isEncrypted() const { return mControl->isEncrypted(); }
    // In DataMode::Auto, once passive data connections could not be made:
    // why not. Every data connection of this connection is active from then
    // on.
    const std::optional<Failure> &passiveFailure() const { return mFallbackReason; }
    // Called once, at the moment passiveFailure() is set.
    void whenFallingBackToActive(std::function<void(const Failure &why)> note) { mFallbackNote = std::move(note); }

    Status deleteFile(const QString &path);
    Status renameFile(const QString &from, const QString &to);
    Status createDirectory(const QString &path);
    Status removeDirectory(const QString &path);
    Status setCurrentDirectory(const QString &path);
    Result<QString> currentDirectory();

    // Sets up the data connection of the next transfer (and its type)
    // before the transfer is asked for, so that it starts with its command:
    // a caller with time to spare spends it here. What fails is kept as the
    // next transfer's failure. The next transfer takes what was set up; a
    // listing, or another call of this, drops it.
    void prepareTransfer(TransferType type);
    // Null on failure: a streamed transfer reads why from lastError().
    [[nodiscard]] std::unique_ptr<FtpFile> openFile(const QString &path, FileAccess access, TransferType type);
    // Fails with ErrorNoMoreFiles when nothing matches. The directory part
    // of the pattern is listed; its last component is matched here, with
    // '*' and '?'. Entries carry their name alone (what follows the last
    // "/"); "." and ".." are never delivered.
    Result<std::unique_ptr<FtpSearch>> findFirstFile(const QString &pattern);

    // ftplookup.cpp: one file, looked up by its exact name, never as a
    // pattern. Its size: MLST when the server has it, else SIZE in binary
    // mode; ErrorNoMoreFiles when there is no such file.
    Result<qint64> fileSize(const QString &path);
    // The best way the server offers to hash a whole file, asked once per
    // connection; nothing when it offers none.
    Result<std::optional<HashMethod>> hashMethod();
    // The server's hash of one file, hex digits in lower case.
    Result<QString> fileHash(const QString &path, const HashMethod &method);

    // Whole-file copies in one call. getFile replaces an existing local file
    // only once the whole file has arrived.
    Status putFile(const QString &localPath, const QString &remotePath, TransferType type);
    Status getFile(const QString &remotePath, const QString &localPath, TransferType type);

private:
    FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options);
    static Result<std::unique_ptr<FtpConnection>> connect(const Session &session, const QString &server,
                                                          const QString &user, const QString &password,
                                                          const ConnectOptions &options);

    // What the files and searches of this connection may ask of it.
    int timeoutMs() const override;
    const WaitHook &waitHook() const override;
    Result<Reply> finalReply() override;
    void resynchronize(int waitMs) override;
    void release() override;

    Status ready(std::initializer_list<QString> arguments) const;
    Status simple(const QString &command, const QString &argument);
    Status changeDirectory(const QString &path);
    Status rename(const QString &from, const QString &to);
    Result<QString> workingDirectory();
    Status setType(TransferType type);
    Status askFeatures();
    Result<std::unique_ptr<QSslSocket>> startData(const QString &command, Result<std::unique_ptr<DataChannel>> channel);
    Result<std::unique_ptr<DataChannel>> openDataChannel();
    Result<std::unique_ptr<FtpFile>> startTransfer(const QString &path, FileAccess access, TransferType type);
    Result<QByteArray> fetchListing(const QString &command);
    Result<std::unique_ptr<FtpSearch>> find(const QString &pattern);
    Result<std::unique_ptr<FtpSearch>> findOne(const QString &path);
    Result<RemoteEntry> describe(const QString &path);
    // ftplookup.cpp
    Result<qint64> sizeOf(const QString &path);
    Result<qint64> sizeFromFolder(const QString &path);
    Result<std::optional<HashMethod>> chooseHash();
    Result<bool> knowsCommand(const QString &command);
    Result<QString> hashOf(const QString &path, const HashMethod &method);
    Status upload(const QString &localPath, const QString &remotePath, TransferType type);
    Status download(const QString &remotePath, const QString &localPath, TransferType type);

    // The connection is busy from here until the file or search lets go.
    [[nodiscard]] std::unique_ptr<FtpFile> newFile(std::unique_ptr<QSslSocket> data, FileAccess access);
    [[nodiscard]] std::unique_ptr<FtpSearch> newSearch(QList<RemoteEntry> entries);

    std::unique_ptr<ControlChannel> mControl;
    ConnectOptions mOptions;
    bool mBusy = false;
    bool mEpsvRefused = false;
    std::optional<Failure> mFallbackReason;
    std::function<void(const Failure &)> mFallbackNote;
    std::optional<TransferType> mType;
    // Where the last CWD to an absolute path took the server; unknown after
    // any other.
    std::optional<QString> mDirectory;
    std::optional<bool> mMlsd;
    QString mFeatures;
    std::optional<std::optional<HashMethod>> mHash;
    // Set up by prepareTransfer() for the next transfer.
    std::optional<Result<std::unique_ptr<DataChannel>>> mDataAhead;
};

} // namespace inet
