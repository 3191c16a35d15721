#pragma once

#include <QList>

#include "platform/inet/listing.h"

namespace inet {

class ConnectionLink;

// The entries of one search, fetched whole when the search starts; the
// connection runs nothing else until the search is dropped.
class FtpSearch
{
public:
    FtpSearch(ConnectionLink &link, QList<RemoteEntry> entries);
    ~FtpSearch();

    const RemoteEntry &current() const { return mEntries.at(mIndex); }
    // Moves to the next entry; false with ErrorNoMoreFiles at the end.
    [[nodiscard]] bool next();

private:
    ConnectionLink &mLink;
    QList<RemoteEntry> mEntries;
    qsizetype mIndex = 0;
};

} // namespace inet
