#include "platform/inet/ftpsearch.h"

#include "platform/inet/errors.h"
#include "platform/inet/ftpconnection.h"

namespace inet {

FtpSearch::FtpSearch(FtpConnection &connection, QList<RemoteEntry> entries)
    : mConnection(connection), mEntries(std::move(entries))
{
    mConnection.setBusy(true);
}

FtpSearch::~FtpSearch()
{
    mConnection.setBusy(false);
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
