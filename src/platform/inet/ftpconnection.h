#pragma once

#include <QList>
#include <QString>

#include <initializer_list>
#include <memory>
#include <optional>

#include "platform/inet/control.h"
#include "platform/inet/ftpfile.h"
#include "platform/inet/ftpsearch.h"
#include "platform/inet/link.h"
#include "platform/inet/options.h"
#include "platform/inet/result.h"

class QSslSocket;

namespace inet {

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
    // Connects, reads the greeting and logs in. A site that wants its
    // connection encrypted is refused (ErrorInvalidParameter) before
    // anything is sent: this layer cannot yet protect it, and must not
    // send its password in the clear.
    static Result<std::unique_ptr<FtpConnection>> open(const Session &session, const QString &server,
                                                       const QString &user, const QString &password,
                                                       const ConnectOptions &options);

    // Says goodbye (QUIT) briefly and drops the connection.
    ~FtpConnection();

    const ConnectOptions &options() const { return mOptions; }
    [[nodiscard]] bool isAlive() const { return mControl->isOpen(); }

    Status deleteFile(const QString &path);
    Status renameFile(const QString &from, const QString &to);
    Status createDirectory(const QString &path);
    Status removeDirectory(const QString &path);
    Status setCurrentDirectory(const QString &path);
    Result<QString> currentDirectory();

    // Null on failure: a streamed transfer reads why from lastError().
    [[nodiscard]] std::unique_ptr<FtpFile> openFile(const QString &path, FileAccess access, TransferType type);
    // Fails with ErrorNoMoreFiles when nothing matches. The directory part
    // of the pattern is listed; its last component is matched here, with
    // '*' and '?'. Entries carry their name alone (what follows the last
    // "/"); "." and ".." are never delivered.
    Result<std::unique_ptr<FtpSearch>> findFirstFile(const QString &pattern);

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
    Status rename(const QString &from, const QString &to);
    Result<QString> workingDirectory();
    Status setType(TransferType type);
    Status askFeatures();
    Result<std::unique_ptr<QSslSocket>> startData(const QString &command);
    Result<std::unique_ptr<FtpFile>> startTransfer(const QString &path, FileAccess access, TransferType type);
    Result<QByteArray> fetchListing(const QString &command);
    Result<std::unique_ptr<FtpSearch>> find(const QString &pattern);
    Result<std::unique_ptr<FtpSearch>> findOne(const QString &path);
    Status upload(const QString &localPath, const QString &remotePath, TransferType type);
    Status download(const QString &remotePath, const QString &localPath, TransferType type);

    // The connection is busy from here until the file or search lets go.
    [[nodiscard]] std::unique_ptr<FtpFile> newFile(std::unique_ptr<QSslSocket> data, FileAccess access);
    [[nodiscard]] std::unique_ptr<FtpSearch> newSearch(QList<RemoteEntry> entries);

    std::unique_ptr<ControlChannel> mControl;
    ConnectOptions mOptions;
    bool mBusy = false;
    bool mEpsvRefused = false;
    std::optional<TransferType> mType;
    std::optional<bool> mMlsd;
};

} // namespace inet
