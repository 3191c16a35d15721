#pragma once

#include <QString>

#include <optional>

#include "platform/inet/options.h"
#include "platform/inet/result.h"

namespace inet {

constexpr quint16 DefaultFtpPort = 21;
// Where servers listen that speak TLS from the first byte.
constexpr quint16 DefaultImplicitFtpsPort = 990;

struct ServerAddress
{
    QString host; // a host name or an address literal, without brackets
    quint16 port = DefaultFtpPort;
};

// Reads "host", "host:port", "IPv4", "IPv6", "[IPv6]" or "[IPv6]:port",
// optionally as a URL: "ftp://", "ftps://" or "ftpes://" in front, and a
// single "/" behind. Surrounding blanks are ignored; a missing port is
// defaultPort. Fails with ErrorNameNotResolved when the text names no host
// or carries a port that is not a number from 1 to 65535; with
// ErrorUnrecognizedScheme for another scheme; with ErrorInvalidUrl, and a
// detail that says why, for a URL with a path, a query or a user name.
[[nodiscard]] Result<ServerAddress> parseServer(const QString &text, quint16 defaultPort = DefaultFtpPort);

// The security the text's scheme stands for: ftp:// none, ftps:// implicit
// and ftpes:// explicit TLS; nothing without a scheme (or with another).
[[nodiscard]] std::optional<Security> schemeSecurity(const QString &text);

} // namespace inet
