#include "platform/inet/ftpsearch.h"

#include "platform/inet/errors.h"
#include "platform/inet/link.h"

namespace inet {

FtpSearch::FtpSearch(ConnectionLink &link, QList<RemoteEntry> entries) : mLink(link), mEntries(std::move(entries)) {}

FtpSearch::~FtpSearch()
{
    mLink.release();
}

bool FtpSearch::next()
{
    if (mIndex + 1 >= mEntries.size()) {
        setLastError(ErrorNoMoreFiles);
        return false;
    }
    ++mIndex;
    return true;
}

} // namespace inet
