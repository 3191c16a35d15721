#pragma once

#include <QString>

#include <memory>

#include "platform/inet/control.h"
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

// One logged-in FTP connection.
class FtpConnection
{
public:
    // Connects, reads the greeting and logs in. Returns null on failure,
    // with lastError() (and for a negative reply lastResponseInfo()) set.
    static std::unique_ptr<FtpConnection> open(const Session &session, const QString &server,
                                               const QString &user, const QString &password,
                                               const ConnectOptions &options);

    // Says goodbye (QUIT) briefly and drops the connection.
    ~FtpConnection();

    const ConnectOptions &options() const { return mOptions; }
    ControlChannel &control() { return *mControl; }

private:
    FtpConnection(std::unique_ptr<ControlChannel> control, const ConnectOptions &options);

    std::unique_ptr<ControlChannel> mControl;
    ConnectOptions mOptions;
};

} // namespace inet
