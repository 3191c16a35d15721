#pragma once

#include <QString>

#include <memory>

#include "platform/inet/control.h"
#include "platform/inet/ftpfile.h"
#include "platform/inet/ftpsearch.h"
#include "platform/inet/server.h"

namespace inet {

class Session;

// How a connection moves its data and whether it is protected. Read once,
// when the connection opens; an open connection keeps what it was opened
// with.
enum class DataMode { Active, Passive };
enum class Security { None };

struct ConnectOptions
{
    DataMode mode = DataMode::Active;
    Security security = Security::None;
};

enum class TransferType { Ascii, Binary };

// One logged-in FTP connection. One operation runs at a time: while a file
// or a search is open, every other operation fails with
// ErrorTransferInProgress. Every operation refuses a name holding CR, LF or
// NUL (ErrorInvalidParameter) before anything is sent. A negative reply
// fails with ErrorExtendedError, the reply being the last response info; a
// server that hangs up (421 or end of stream) fails with
// ErrorConnectionAborted and leaves the connection dead (isAlive() false).
class FtpConnection
{
public:
    // Connects, reads the greeting and logs in. Returns null on failure,
    // with lastError() (and for a negative reply lastResponseInfo()) set.
    static std::unique_ptr<FtpConnection> open(const Session &session, const QString &server, const QString &user,
                                               const QString &password, const ConnectOptions &options);

    // Says goodbye (QUIT) briefly and drops the connection.
    ~FtpConnection();

    const ConnectOptions &options() const { return mOptions; }
    bool isAlive() const { return mControl->isOpen(); }

    bool deleteFile(const QString &path);
    bool renameFile(const QString &from, const QString &to);
    bool createDirectory(const QString &path);
    bool removeDirectory(const QString &path);
    bool setCurrentDirectory(const QString &path);
    bool currentDirectory(QString &path);

    std::unique_ptr<FtpFile> openFile(const QString &path, FileAccess access, TransferType type);
    // Null with ErrorNoMoreFiles when nothing matches. The directory part of
    // the pattern is listed; its last component is matched here, with '*'
    // and '?'. "." and ".." are never delivered.
    std::unique_ptr<FtpSearch> findFirstFile(const QString &pattern);

    // Whole-file copies in one call. getFile replaces an existing local file
    // only once the whole file has arrived.
    bool putFile(const QString &localPath, const QString &remotePath, TransferType type);
    bool getFile(const QString &remotePath, const QString &localPath, TransferType type);

    // For the files and searches of this connection.
    ControlChannel &control() { return *mControl; }
    void setBusy(bool busy) { mBusy = busy; }
    bool readReply(Reply &reply);
    // After an abandoned transfer: takes the server's reply to it, or drops
    // the connection when none comes, so that no stale reply is read as the
    // answer to a later command.
    void resynchronize(int waitMs);

private:
    FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options);

    bool ready(std::initializer_list<QString> arguments);
    bool run(const QString &command, Reply &reply);
    bool simple(const QString &command, const QString &argument);
    bool setType(TransferType type);
    std::unique_ptr<QSslSocket> startData(const QString &command);
    bool knowsMlsd();
    std::unique_ptr<FtpSearch> findOne(const QString &path);

    std::unique_ptr<ControlChannel> mControl;
    ConnectOptions mOptions;
    bool mBusy = false;
    bool mEpsvRefused = false;
    std::optional<TransferType> mType;
    std::optional<bool> mMlsd;
};

} // namespace inet
