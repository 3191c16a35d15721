#pragma once

#include "platform/inet/control.h"
#include "platform/inet/result.h"
#include "platform/inet/wait.h"

namespace inet {

// What an open file or search may ask of the connection it runs on, and no
// more. The connection is busy from the moment it hands one out until the
// file or search calls release().
class ConnectionLink
{
public:
    // How long any single wait on the network may take.
    virtual int timeoutMs() const = 0;
    // What to do before a wait that may last.
    virtual const WaitHook &waitHook() const = 0;
    // Reads the server's reply that ends a transfer. A 421, or a reply that
    // does not come in time, leaves the connection dead.
    [[nodiscard]] virtual Result<Reply> finalReply() = 0;
    // After an abandoned transfer: takes the server's reply to it, or drops
    // the connection when none comes within waitMs.
    virtual void resynchronize(int waitMs) = 0;
    // The file or search is done with the connection.
    virtual void release() = 0;

protected:
    ~ConnectionLink() = default;
};

} // namespace inet
