#pragma once

#include <QObject>
#include <QString>

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "ftp/delivery.h"
#include "platform/inet/ftpconnection.h"
#include "platform/inet/session.h"

class LocalSource;
class LocalTarget;

// The program's FTP client: one Internet session, at most one FTP connection,
// and the text of the last failure. Operations report failure by their
// result and keep the text in the object; a success never clears it.
class cFTP : public QObject
{
    Q_OBJECT
public:
    static constexpr int FTP_TRANSFER_TYPE_ASCII = 1;
    static constexpr int FTP_TRANSFER_TYPE_BINARY = 2;
    static constexpr int INTERNET_FLAG_PASSIVE = 0x08000000;
    // The block a streamed transfer moves between two progress events.
    static constexpr int TransferBlockBytes = 255;

    explicit cFTP(QObject *parent = nullptr);
    ~cFTP() override;

    QString GetLastErrorMessage() const;
    void CloseConnection();
    bool SimpleFTPPutFile(const QString &sLocal, const QString &sRemote);
    bool RenameFTPFile(const QString &sExisting, const QString &sNewName);
    bool CreateFTPDirectory(const QString &sDirectory);
    bool RemoveFTPDirectory(const QString &sDirectory);
    bool DeleteFTPFile(const QString &sRemote);
    bool OpenConnection(const QString &sServer, const QString &sUser, const QString &sPassword);
    // Strip the paths of surrounding blanks, hand them back so, and then
    // move the file as PutFile and GetFile do.
    bool FTPUploadFile(QString &sLocal, QString &sRemote);
    bool FTPDownloadFile(QString &sLocal, QString &sRemote);
    bool SimpleFTPGetFile(const QString &sLocal, const QString &sRemote);
    QString GetFTPDirectory();
    bool SetFTPDirectory(const QString &sDir);
    // The size of the file of exactly that name (never a pattern); -1 when
    // there is none, -2 when the lookup failed.
    qint64 GetFTPFileSize(const QString &sFile);
    // The size the next GetFile will look up first, asked for now: in the
    // pause before a download, while the server has the time to answer. It
    // is taken by the next GetFile if that is of the same name, and dropped
    // otherwise, so it is never older than one pause.
    void AskFileSizeAhead(const QString &sRemote);
    // The data connection of the next transfer, set up now, in the pause
    // before a file; a failure here is that transfer's failure. Without an
    // open connection, or during a transfer, it does nothing.
    void PrepareTransferAhead();
    // The names of the matching entries, after their last "/", joined by
    // ","; "" when nothing matches or the search fails. Directories are
    // listed too unless filesOnly is set.
    QString GetFTPdir(const QString &sFile, bool filesOnly = false);
    // The same names as a list, each exactly as the server gave it; an
    // empty list when nothing matches, nothing when the listing failed
    // (with its text).
    std::optional<QStringList> GetFTPNames(const QString &sPattern, bool filesOnly = false);

    // transfers.cpp: the job's transfers. The paths are taken exactly as
    // given (a name may begin or end with a blank), and the file counts as
    // moved only once it has passed what the delivery policy asks: a
    // download replaces its target only then, and an upload is verified on
    // the server before its source may be deleted.
    bool PutFile(const QString &sLocal, const QString &sRemote);
    bool GetFile(const QString &sLocal, const QString &sRemote);
    void SetDelivery(const DeliveryPolicy &policy) { mPolicy = policy; }
    const DeliveryPolicy &delivery() const { return mPolicy; }
    // What the checks of the last PutFile or GetFile came to.
    const DeliveryReport &lastDelivery() const { return mDelivery; }
    void SetTransferASCII();
    void SetTransferBinary();
    void SetModeActive();
    void SetModePassive();
    // Passive, until a passive data connection cannot be made; then active
    // for the rest of that connection, and notice() says so.
    void SetModeAuto();
    // The encryption of the next connection: none, explicit or implicit
    // TLS, and whom it trusts. Without a security of its own the site takes
    // the one the server text's scheme names (ftps:// implicit, ftpes://
    // explicit), else none.
    void SetSecurity(std::optional<inet::Security> security, const inet::TrustOptions &trust = {});

    // How long any single wait on the network may take (60 s unless set).
    void SetTimeout(int milliseconds);
    // What a transfer does between its blocks and for its pause; by default
    // it lets Qt's events run (a few hundred times a second at most) and
    // sleeps. pumpEvents(n) stands for n chances in a row for the events,
    // asked for at once: a transfer gives several for every block.
    // beforeWait is called before a wait on the network that may last, on
    // connections opened from then on.
    void SetPacing(std::function<void(int)> pumpEvents, std::function<void(int)> sleep,
                   std::function<void()> beforeWait = {});
    // A pause that can have work done in it: meanwhile runs first, and the
    // pause lasts ms counted from its start. Without one, meanwhile runs
    // before the sleep above.
    using PauseWith = std::function<void(int ms, const std::function<void()> &meanwhile)>;
    void SetPauseWith(PauseWith pause) { mPauseWith = std::move(pause); }
    // The window's own line to a transfer's progress, called for every block
    // as FileTransferProgress is sent. A signal costs every block a trip
    // through Qt's meta-object system, so it is only sent while someone
    // listens to it.
    void SetProgressHandler(std::function<void(qint64, qint64)> handler) { mProgressHandler = std::move(handler); }

    bool isConnected() const { return hConnection != nullptr; }
    // True while the open connection is encrypted (TLS).
    bool isEncrypted() const { return hConnection && hConnection->isEncrypted(); }
    int transferType() const { return lTransferType; }
    int connectFlags() const { return lConnectFlags; }
    inet::DataMode dataMode() const;
    // The security the next connection to sServer will have.
    inet::Security securityFor(const QString &sServer) const;

signals:
    // After every block of a streamed transfer, and once more when it ends.
    void FileTransferProgress(qint64 lCurrentBytes, qint64 lTotalBytes);
    // The time-left line's text at the end of an upload ("Konec.", then
    // "INTERNET CLOSE").
    void transferNote(const QString &text);
    // Something the connection worked around, in a sentence: passive data
    // connections that could not be made, so that active ones are used.
    void notice(const QString &text);

protected:
    void connectNotify(const QMetaMethod &signal) override;
    void disconnectNotify(const QMetaMethod &signal) override;

private:
    // The failure text: for a server's refusal its reply alone, else the
    // label, the code and the layer's message (or the one given).
    void FormatTransferError(const inet::Failure &failure, const QString &label, const QString &message = QString());
    // The same for the failure the layer left as the thread's last error.
    void FormatTransferError(int code, const QString &label, const QString &message = QString());
    void Class_Initialize();
    void Class_Terminate();

    inet::FtpConnection *connection();
    inet::TransferType transferKind() const;
    // A connection the server has hung up on is of no more use.
    void dropDeadConnection();
    // On failure: the text under the operation's label; passes ok on.
    [[nodiscard]] bool report(bool ok, const QString &label);
    [[nodiscard]] bool report(const inet::Status &status, const QString &label);
    // The failure's text under the operation's label, then the connection
    // dropped if the server has hung up.
    void failWith(const inet::Failure &failure, const QString &label);
    // The window runs its events between blocks; whatever it does there must
    // not pull the connection from under the transfer.
    [[nodiscard]] bool transferStillOpen()
    {
        if (hTransfer)
            return true;
        transferLost();
        return false;
    }
    void transferLost();
    void raiseProgress(qint64 current, qint64 total)
    {
        if (mProgressHandler)
            mProgressHandler(current, total);
        if (mProgressHeard)
            emit FileTransferProgress(current, total);
    }
    bool failLocal(const QString &label, const QString &path, const QString &reason, int code);

    // delivery.cpp: the checks between a transfer's end and its success.
    // The way the server hashes files, when the policy wants a hash; false
    // (with the text under label) when asking failed.
    bool prepareHash(const QString &label, std::optional<inet::HashMethod> &method);
    bool verifyUpload(const LocalSource &local, const QString &stored, const std::optional<inet::HashMethod> &hash);
    // The size asked for ahead of the step that needs it (AskFileSizeAhead()),
    // taken once, if it is of that file; else asked for now.
    inet::Result<qint64> takeFileSize(const QString &path);
    qint64 sizeOrCode(const inet::Result<qint64> &size);
    bool placeUpload(const QString &stored, const QString &sRemote);
    bool verifyDownload(const LocalTarget &local, const QString &sRemote, qint64 bytes,
                        const std::optional<inet::HashMethod> &hash);
    // A check failed: its text, and the copy on the server that did not
    // pass removed (when there is one).
    bool rejectDelivery(const QString &text, const QString &remoteCopy = QString());
    void pump(int times)
    {
        if (times > 0)
            mPump(times);
    }
    void pauseWith(int ms, const std::function<void()> &meanwhile)
    {
        if (mPauseWith) {
            mPauseWith(ms, meanwhile);
            return;
        }
        meanwhile();
        mSleep(ms);
    }
    // transfers.cpp: one streamed file each way, and the one way out of a
    // transfer that did not finish.
    class TransferExit;
    class Upload;
    class Download;

    std::unique_ptr<inet::Session> hSession;
    std::unique_ptr<inet::FtpConnection> hConnection;
    std::unique_ptr<inet::FtpFile> hTransfer;
    int lTransferType = FTP_TRANSFER_TYPE_ASCII;
    int lConnectFlags = 0;
    QString sLastError;
    // The password, masked out of every failure text: a server may repeat it.
    QString sSecret;
    DeliveryPolicy mPolicy;
    DeliveryReport mDelivery;
    bool mActiveFallback = false;
    std::optional<inet::Security> mSecurity;
    inet::TrustOptions mTrust;

    std::function<void(int)> mPump;
    std::function<void(int)> mSleep;
    PauseWith mPauseWith;
    std::optional<std::pair<QString, inet::Result<qint64>>> mSizeAhead;
    std::function<void(qint64, qint64)> mProgressHandler;
    bool mProgressHeard = false;
};
