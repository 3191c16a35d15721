#include "ftp/localfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFileInfo>

#include "ftp/delivery.h"

namespace {
using localfile::SourceBytes;
// A download hands what it has written to the disk as it goes, so that the
// final flush to stable storage is short instead of the whole file's.
constexpr qint64 WriteBehindBytes = 8 * 1024 * 1024;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool LocalSource::open()
{
    if (!mFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    struct stat info = {};
    if (::fstat(mFile.handle(), &info) != 0)
        return false;
    mStamp = {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size), qint64(info.st_mtim.tv_sec),
              qint64(info.st_mtim.tv_nsec)};
    mLimit = info.st_size;
    return true;
}

bool LocalSource::readAcross(char *data, qint64 size)
{
    while (size > 0) {
        if (mPos >= mBuffer.size()) {
            const qint64 want = qMin(SourceBytes, mLimit - mLoaded);
            mBuffer.resize(want > 0 ? want : 0);
            const qint64 got = want > 0 ? mFile.read(mBuffer.data(), want) : 0;
            mBuffer.resize(got > 0 ? got : 0);
            mPos = 0;
            if (got <= 0)
                return false;
            mLoaded += got;
            if (mHash)
                mHash->addData(mBuffer);
        }
        const qint64 n = qMin(size, mBuffer.size() - mPos);
        std::memcpy(data, mBuffer.constData() + mPos, size_t(n));
        mPos += n;
        data += n;
        size -= n;
    }
    return true;
}

void LocalSource::hashWith(QCryptographicHash::Algorithm algorithm)
{
    mHash = std::make_unique<QCryptographicHash>(algorithm);
}

QString LocalSource::hash() const
{
    return mHash ? QString::fromLatin1(mHash->result().toHex()) : QString();
}

QString LocalSource::changeSinceOpen() const
{
    struct stat info = {};
    if (::stat(QFile::encodeName(mFile.fileName()).constData(), &info) != 0)
        return QStringLiteral("it is gone (%1)").arg(systemError(errno));
    if (qint64(info.st_dev) != mStamp.device || qint64(info.st_ino) != mStamp.inode)
        return QStringLiteral("another file took its place");
    if (qint64(info.st_size) != mStamp.size)
        return QStringLiteral("its size went from %1 to %2 bytes").arg(mStamp.size).arg(qint64(info.st_size));
    if (qint64(info.st_mtim.tv_sec) != mStamp.modifiedSeconds
        || qint64(info.st_mtim.tv_nsec) != mStamp.modifiedNanoseconds)
        return QStringLiteral("it was written to");
    return QString();
}

LocalTarget::LocalTarget(const QString &path) : mTarget(path), mFile(delivery::temporaryPath(path)) {}

LocalTarget::~LocalTarget()
{
    discard();
}

bool LocalTarget::fail(int error)
{
    mError = systemError(error);
    return false;
}

bool LocalTarget::open()
{
    mBuffer.reset(new char[localfile::TargetBytes]);
    mFill = 0;
    // Listed before it exists: an end of the program in between at worst
    // tries to remove a file that is not there.
    mPending = pendingfiles::Ticket(mFile.fileName());
    if (!mFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        mPending.release();
        mError = mFile.errorString();
        return false;
    }
    mTemporaryExists = true;
    return true;
}

bool LocalTarget::writeOut()
{
    if (mFill == 0)
        return true;
    if (mHash)
        mHash->addData(QByteArrayView(mBuffer.get(), mFill));
    mSynced = false;
    const char *data = mBuffer.get();
    qint64 left = mFill;
    while (left > 0) {
        const ssize_t n = ::write(mFile.handle(), data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        data += n;
        left -= n;
    }
    mSinceWriteBehind += mFill;
    mFill = 0;
    if (mSinceWriteBehind >= WriteBehindBytes) {
        ::sync_file_range(mFile.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        mSinceWriteBehind = 0;
    }
    return true;
}

bool LocalTarget::flush()
{
    if (!mFile.isOpen())
        return fail(EBADF);
    if (!writeOut())
        return false;
    if (::fsync(mFile.handle()) != 0)
        return fail(errno);
    mSynced = true;
    return true;
}

bool LocalTarget::commit()
{
    // A download flushes before it verifies; a second fsync of a file
    // that has not changed since would only cost time.
    if (!mSynced && !flush())
        return false;
    mFile.close();
    const QByteArray from = QFile::encodeName(mFile.fileName());
    const QByteArray to = QFile::encodeName(mTarget);
    // rename() replaces the target in one step: whoever looks sees the old
    // file or the new one, never a part of either.
    if (::rename(from.constData(), to.constData()) != 0)
        return fail(errno);
    mTemporaryExists = false;
    mPending.release();
    // The rename itself lasts only once the folder is on disk too.
    const QByteArray folder = QFile::encodeName(QFileInfo(mTarget).absolutePath());
    const int handle = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0) {
        const bool synced = ::fsync(handle) == 0;
        const int error = errno;
        ::close(handle);
        if (!synced)
            return fail(error);
    }
    return true;
}

void LocalTarget::discard()
{
    mFile.close();
    if (mTemporaryExists)
        QFile::remove(mFile.fileName());
    mTemporaryExists = false;
    mPending.release();
}

void LocalTarget::hashWith(QCryptographicHash::Algorithm algorithm)
{
    mHash = std::make_unique<QCryptographicHash>(algorithm);
}

QString LocalTarget::hash() const
{
    return mHash ? QString::fromLatin1(mHash->result().toHex()) : QString();
}
