#pragma once

#include <QString>

#include <optional>

namespace inet {

constexpr quint16 DefaultFtpPort = 21;

struct ServerAddress
{
    QString host; // a host name or an address literal, without brackets
    quint16 port = DefaultFtpPort;
};

// Reads "host", "host:port", "IPv4", "IPv6", "[IPv6]" or "[IPv6]:port".
// Surrounding blanks are ignored. Nothing when the text names no host or
// carries a port that is not a number from 1 to 65535.
[[nodiscard]] std::optional<ServerAddress> parseServer(const QString &text);

} // namespace inet
