// The streamed transfers of cFTP: one file in 255-byte blocks, a progress
// event after every block and one when the file is done, and then the
// checks of delivery.cpp before the file counts as moved.

#include "ftp/cftp.h"

#include <QFile>
#include <QFileInfo>

#include "ftp/localfile.h"
#include "platform/blanks.h"
#include "platform/inet/errors.h"

namespace {

const QString PutOpenLabel = QStringLiteral("FtpOpenFile:PutFile");
const QString WriteLabel = QStringLiteral("InternetWriteFile");
const QString LastWriteLabel = QStringLiteral("InternetWriteFile2");
const QString GetOpenLabel = QStringLiteral("FtpOpenFile:GetFile");
const QString ReadLabel = QStringLiteral("InternetReadFile");
const QString LastReadLabel = QStringLiteral("InternetReadFile2");
const QString FindFirstLabel = QStringLiteral("FtpFindFirstFile");
const QString LocalLabel = QStringLiteral("LocalFile");

// The pause after an upload's last block; the upload ends in it.
constexpr int UploadSettleMs = 1000;

// Where a transfer lets the window's events run, and how many times. The
// counts are deliberate, not noise to be tidied away: each one is a chance
// for the window to redraw and to act on "Zapri" in the middle of a file,
// a download has always given the window twice an upload's chances per
// block, and the tests pin every one of them.
namespace UploadPumps {
constexpr int AfterBlockSent = 1;
constexpr int AfterBlockShown = 1;
constexpr int AfterKonec = 1;
constexpr int AfterSettling = 2;
constexpr int AfterInternetClose = 1;
// Once after a failure on the connection's side; a local one has none.
constexpr int AfterFailure = 1;
} // namespace UploadPumps

namespace DownloadPumps {
constexpr int AfterSizeLookup = 1;
constexpr int AfterRemoteOpen = 1;
// The local file opened, positioned at its start, the counter set.
constexpr int AfterLocalOpen = 3;
constexpr int AfterBlockWritten = 2;
constexpr int AfterBlockShown = 2;
constexpr int BeforeLastBlock = 1;
constexpr int AfterLastBlock = 2;
constexpr int AfterClosingEvent = 2;
constexpr int AfterClose = 2;
// A failed download returns at once.
constexpr int AfterFailure = 0;
} // namespace DownloadPumps

int localErrorCode(const QFile &file)
{
    return file.error() == QFileDevice::OpenError && !file.exists() ? inet::ErrorFileNotFound : inet::ErrorAccessDenied;
}

} // namespace

// The one way out of a transfer that did not finish, from the moment its
// remote file is open: the text that says what failed, then both files let
// go in the order the direction needs, the partial remote file deleted
// where the failure says so, a connection the server has hung up on
// dropped, and the window's events let in where the direction does.
class cFTP::TransferExit
{
public:
    // What differs between the directions.
    struct Closing
    {
        // A download writes out what arrived before it lets the server go;
        // an upload lets the server go first.
        bool localFirst;
        int pumpsAfterNetworkFailure;
    };
    enum class Remote { Stays, Goes };

    TransferExit(cFTP &ftp, Closing closing, const QString &localPath, const QString &remotePath,
                 std::function<void()> closeLocal)
        : mFtp(ftp), mClosing(closing), mLocalPath(localPath), mRemotePath(remotePath),
          mCloseLocal(std::move(closeLocal))
    {}

    // A call on the connection failed: its code under the label of the step.
    bool network(const QString &label, Remote remote = Remote::Stays)
    {
        mFtp.FormatTransferError(inet::lastError(), label);
        leave(remote);
        mFtp.pump(mClosing.pumpsAfterNetworkFailure);
        return false;
    }

    // The local file failed; the server is not to blame, and what it has
    // stays.
    bool local(const QString &reason, int code)
    {
        mFtp.failLocal(LocalLabel, mLocalPath, reason, code);
        leave(Remote::Stays);
        return false;
    }

private:
    void leave(Remote remote)
    {
        if (mClosing.localFirst)
            mCloseLocal();
        mFtp.hTransfer.reset();
        if (!mClosing.localFirst)
            mCloseLocal();
        // A refused deletion puts its own text in place of this one.
        if (remote == Remote::Goes)
            mFtp.DeleteFTPFile(mRemotePath);
        mFtp.dropDeadConnection();
    }

    cFTP &mFtp;
    const Closing mClosing;
    const QString &mLocalPath;
    const QString &mRemotePath;
    const std::function<void()> mCloseLocal;
};

void cFTP::transferLost()
{
    inet::setLastError(inet::ErrorConnectionAborted);
}

// One open local file to the open remote one.
class cFTP::Upload
{
public:
    Upload(cFTP &ftp, LocalSource &local, const QString &localPath, const QString &remotePath)
        : mFtp(ftp), mLocal(local), mRemotePath(remotePath), mTotal(local.size()),
          mExit(ftp, {.localFirst = false, .pumpsAfterNetworkFailure = UploadPumps::AfterFailure}, localPath,
                remotePath, [this] { mLocal.close(); })
    {}

    bool run() { return sendFullBlocks() && sendLastBlock() && finish(); }

private:
    // The next size bytes of the local file, where they lie when they can
    // be read there (no copy), else in the block; nullptr after a failure.
    const char *readLocal(qint64 size)
    {
        if (const char *at = mLocal.readView(size))
            return at;
        if (mLocal.read(mBlock, size))
            return mBlock;
        mExit.local(QStringLiteral("the file ended before its size of %1 bytes").arg(mTotal), inet::ErrorAccessDenied);
        return nullptr;
    }

    bool sendFullBlocks()
    {
        for (qint64 k = mTotal / TransferBlockBytes; k > 0; --k) {
            const char *block = readLocal(TransferBlockBytes);
            if (!block)
                return false;
            if (!mFtp.hTransfer->write(block, TransferBlockBytes))
                return mExit.network(WriteLabel);
            mFtp.pump(UploadPumps::AfterBlockSent);
            mSent += TransferBlockBytes;
            mFtp.raiseProgress(mSent, mTotal);
            mFtp.pump(UploadPumps::AfterBlockShown);
            if (!mFtp.transferStillOpen())
                return mExit.network(WriteLabel);
        }
        return true;
    }

    // Only the bytes that remain go in the last write; then the closing
    // event, which shows the whole file.
    bool sendLastBlock()
    {
        const qint64 rest = mTotal - mSent;
        if (rest > 0) {
            const char *block = readLocal(rest);
            if (!block)
                return false;
            if (!mFtp.hTransfer->write(block, rest))
                return mExit.network(LastWriteLabel, TransferExit::Remote::Goes);
        }
        mSent = mTotal;
        mFtp.raiseProgress(mSent, mTotal);
        return true;
    }

    bool finish()
    {
        mLocal.close();
        emit mFtp.transferNote(QStringLiteral("Konec."));
        mFtp.pump(UploadPumps::AfterKonec);
        // The last bytes leave before the settling pause, so the server
        // stores the file while the window is shown, and its final reply and
        // the size it stored are read in the pause: a server that has been
        // idle for a second is slow to answer, and the pause is waited
        // anyway. What they say counts after the pause, where it always did.
        if (mFtp.hTransfer)
            mFtp.hTransfer->endWriting();
        std::optional<bool> closed;
        mFtp.pauseWith(UploadSettleMs, [this, &closed] {
            if (!mFtp.hTransfer)
                return;
            closed = mFtp.hTransfer->close();
            if (*closed && mFtp.lTransferType == FTP_TRANSFER_TYPE_BINARY)
                mFtp.AskFileSizeAhead(mRemotePath);
        });
        mFtp.pump(UploadPumps::AfterSettling);
        if (!mFtp.transferStillOpen())
            return mExit.network(LastWriteLabel);

        // Only the server's final reply says the file arrived whole; a refusal
        // there (disk full, aborted) must not pass for success, as the caller
        // may delete the only other copy next.
        if (!(closed ? *closed : mFtp.hTransfer->close()))
            return mExit.network(LastWriteLabel, TransferExit::Remote::Goes);
        mFtp.hTransfer.reset();
        emit mFtp.transferNote(QStringLiteral("INTERNET CLOSE"));
        mFtp.pump(UploadPumps::AfterInternetClose);
        return true;
    }

    cFTP &mFtp;
    LocalSource &mLocal;
    const QString &mRemotePath;
    const qint64 mTotal;
    qint64 mSent = 0;
    TransferExit mExit;
    char mBlock[TransferBlockBytes];
};

// The open remote file of a listed size into a local file.
class cFTP::Download
{
public:
    Download(cFTP &ftp, const QString &localPath, const QString &remotePath, qint64 total,
             const std::optional<inet::HashMethod> &hash)
        : mFtp(ftp), mLocal(localPath), mRemotePath(remotePath), mTotal(total), mHash(hash),
          mExit(ftp, {.localFirst = true, .pumpsAfterNetworkFailure = DownloadPumps::AfterFailure}, localPath,
                remotePath, [this] { mLocal.discard(); })
    {}

    bool run()
    {
        // The bytes go to a temporary file: an older copy of the target
        // stays as it is until the new one is whole and verified.
        if (!mLocal.open())
            return mExit.local(mLocal.errorString(), QFile::exists(QFileInfo(mLocal.path()).absolutePath())
                                                         ? inet::ErrorAccessDenied
                                                         : inet::ErrorFileNotFound);
        if (mHash)
            mLocal.hashWith(delivery::localAlgorithm(mHash->algorithm));
        mFtp.pump(DownloadPumps::AfterLocalOpen);
        return receiveFullBlocks() && receiveLastBlock() && finish();
    }

private:
    // At least need bytes in hand: received straight into the local file's
    // buffer, behind those already there and never beyond the listed size
    // (more data than that fails at the close). The buffer holds whole
    // blocks, so a block never has to wait for the disk to fit. A read that
    // comes back empty means the data ended before the listed size: the
    // connection was cut, or the file shrank.
    bool receive(qint64 need)
    {
        while (mAhead < need) {
            const qint64 room = qMin(mLocal.roomSize(), mTotal - mReceived) - mAhead;
            const qint64 n = mFtp.hTransfer->read(mLocal.room() + mAhead, room);
            if (n <= 0) {
                if (n == 0)
                    inet::setLastError(inet::ErrorConnectionAborted);
                return false;
            }
            mAhead += n;
        }
        return true;
    }

    // The next size bytes, in hand, now belong to the file.
    bool take(qint64 size)
    {
        mAhead -= size;
        return mLocal.added(size);
    }

    bool failWrite() { return mExit.local(mLocal.errorString(), inet::ErrorAccessDenied); }

    bool receiveFullBlocks()
    {
        for (qint64 k = mTotal / TransferBlockBytes; k > 0; --k) {
            if (!receive(TransferBlockBytes))
                return mExit.network(ReadLabel);
            if (!take(TransferBlockBytes))
                return failWrite();
            mFtp.pump(DownloadPumps::AfterBlockWritten);
            mReceived += TransferBlockBytes;
            mFtp.raiseProgress(mReceived, mTotal);
            mFtp.pump(DownloadPumps::AfterBlockShown);
            if (!mFtp.transferStillOpen())
                return mExit.network(ReadLabel);
        }
        return true;
    }

    // Only the bytes that remain are asked for in the last read.
    bool receiveLastBlock()
    {
        const qint64 rest = mTotal - mReceived;
        if (rest <= 0)
            return true;
        mFtp.pump(DownloadPumps::BeforeLastBlock);
        if (!mFtp.transferStillOpen() || !receive(rest))
            return mExit.network(LastReadLabel);
        if (!take(rest))
            return failWrite();
        mReceived += rest;
        mFtp.pump(DownloadPumps::AfterLastBlock);
        return true;
    }

    bool finish()
    {
        mFtp.raiseProgress(mReceived, mTotal);
        mFtp.pump(DownloadPumps::AfterClosingEvent);
        if (!mFtp.transferStillOpen())
            return mExit.network(LastReadLabel);
        // The server must confirm the file, and the data must end where the
        // listing said it would.
        if (!mFtp.hTransfer->close())
            return mExit.network(LastReadLabel);
        mFtp.hTransfer.reset();
        // On disk, then checked, then under its own name, before we say so:
        // the caller may delete the server's copy next.
        if (!mLocal.flush())
            return failWrite();
        if (!mFtp.verifyDownload(mLocal, mRemotePath, mReceived, mHash)) {
            mLocal.discard();
            return false;
        }
        if (!mLocal.commit())
            return failWrite();
        mFtp.pump(DownloadPumps::AfterClose);
        return true;
    }

    cFTP &mFtp;
    LocalTarget mLocal;
    const QString &mRemotePath;
    const qint64 mTotal;
    const std::optional<inet::HashMethod> mHash;
    qint64 mReceived = 0;
    // Received into the local buffer beyond the blocks taken so far.
    qint64 mAhead = 0;
    TransferExit mExit;
};

bool cFTP::FTPUploadFile(QString &sLocal, QString &sRemote)
{
    sLocal = stripBlanks(sLocal);
    sRemote = stripBlanks(sRemote);
    return PutFile(sLocal, sRemote);
}

bool cFTP::FTPDownloadFile(QString &sLocal, QString &sRemote)
{
    sLocal = stripBlanks(sLocal);
    sRemote = stripBlanks(sRemote);
    return GetFile(sLocal, sRemote);
}

bool cFTP::PutFile(const QString &sLocal, const QString &sRemote)
{
    mDelivery = DeliveryReport();
    mSizeAhead.reset();
    if (sLocal.isEmpty() || sRemote.isEmpty())
        return false;

    // The local file is opened before the remote one, so that a missing
    // source never leaves an empty file on the server.
    LocalSource local(sLocal);
    if (!local.open())
        return failLocal(LocalLabel, sLocal, local.file().errorString(), localErrorCode(local.file()));
    std::optional<inet::HashMethod> hash;
    if (!prepareHash(PutOpenLabel, hash))
        return false;
    if (hash)
        local.hashWith(delivery::localAlgorithm(hash->algorithm));

    // Where the bytes go first: the target itself, or a temporary name
    // that only a verified file leaves.
    const QString stored = mPolicy.uploadTemporary ? delivery::temporaryPath(sRemote) : sRemote;
    inet::FtpConnection *c = connection();
    hTransfer = c ? c->openFile(stored, inet::FileAccess::Write, transferKind()) : nullptr;
    if (!hTransfer)
        return report(false, PutOpenLabel);
    return Upload(*this, local, sLocal, stored).run() && verifyUpload(local, stored, hash)
           && placeUpload(stored, sRemote);
}

bool cFTP::GetFile(const QString &sLocal, const QString &sRemote)
{
    mDelivery = DeliveryReport();
    if (sLocal.isEmpty() || sRemote.isEmpty()) {
        // A size asked for ahead is for this call or for none.
        mSizeAhead.reset();
        return false;
    }

    const qint64 total = sizeOrCode(takeFileSize(sRemote));
    pump(DownloadPumps::AfterSizeLookup);
    if (total == -1) {
        FormatTransferError(inet::ErrorNoMoreFiles, FindFirstLabel,
                            QStringLiteral("No file on the server is named %1\r\n").arg(sRemote));
        return false;
    }
    if (total < 0)
        return false;
    std::optional<inet::HashMethod> hash;
    if (!prepareHash(GetOpenLabel, hash))
        return false;

    inet::FtpConnection *c = connection();
    hTransfer = c ? c->openFile(sRemote, inet::FileAccess::Read, transferKind()) : nullptr;
    pump(DownloadPumps::AfterRemoteOpen);
    if (!hTransfer)
        return report(false, GetOpenLabel);
    return Download(*this, sLocal, sRemote, total, hash).run();
}
