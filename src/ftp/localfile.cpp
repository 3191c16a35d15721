#include "ftp/localfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {
using localfile::BlockBytes;
// A download hands what it has written to the disk as it goes, so that the
// final flush to stable storage is short instead of the whole file's.
constexpr qint64 WriteBehindBytes = 8 * 1024 * 1024;
} // namespace

bool LocalSource::open()
{
    return mFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool LocalSource::readAcross(char *data, qint64 size)
{
    while (size > 0) {
        if (mPos >= mBuffer.size()) {
            mBuffer.resize(BlockBytes);
            const qint64 got = mFile.read(mBuffer.data(), BlockBytes);
            mBuffer.resize(got > 0 ? got : 0);
            mPos = 0;
            if (got <= 0)
                return false;
        }
        const qint64 n = qMin(size, mBuffer.size() - mPos);
        std::memcpy(data, mBuffer.constData() + mPos, size_t(n));
        mPos += n;
        data += n;
        size -= n;
    }
    return true;
}

bool LocalTarget::open()
{
    mBuffer.reset(new char[BlockBytes]);
    mFill = 0;
    return mFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool LocalTarget::writeOut()
{
    if (mFill == 0)
        return true;
    if (mFile.write(mBuffer.get(), mFill) != mFill)
        return false;
    mSinceWriteBehind += mFill;
    mFill = 0;
    if (mSinceWriteBehind >= WriteBehindBytes) {
        ::sync_file_range(mFile.handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        mSinceWriteBehind = 0;
    }
    return true;
}

bool LocalTarget::writeAcross(const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 n = qMin(size, BlockBytes - mFill);
        std::memcpy(mBuffer.get() + mFill, data, size_t(n));
        mFill += n;
        data += n;
        size -= n;
        if (mFill == BlockBytes && !writeOut())
            return false;
    }
    return true;
}

bool LocalTarget::commit()
{
    return writeOut() && ::fsync(mFile.handle()) == 0;
}

void LocalTarget::close()
{
    writeOut();
    mFile.close();
}
