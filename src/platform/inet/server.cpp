#include "platform/inet/server.h"

#include <QHostAddress>

namespace inet {

namespace {

std::optional<quint16> parsePort(const QString &text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535 || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return static_cast<quint16>(port);
}

} // namespace

std::optional<ServerAddress> parseServer(const QString &text)
{
    const QString s = text.trimmed();
    ServerAddress server;

    if (s.startsWith(QLatin1Char('['))) {
        const qsizetype close = s.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        server.host = s.mid(1, close - 1);
        const QString rest = s.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            const auto port = parsePort(rest.mid(1));
            if (!port)
                return std::nullopt;
            server.port = *port;
        }
        if (QHostAddress(server.host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        return server;
    }

    // More than one colon: a bare IPv6 literal, which cannot carry a port.
    if (s.count(QLatin1Char(':')) > 1) {
        if (QHostAddress(s).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        server.host = s;
        return server;
    }

    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    server.host = colon < 0 ? s : s.left(colon);
    if (colon >= 0) {
        const auto port = parsePort(s.mid(colon + 1));
        if (!port)
            return std::nullopt;
        server.port = *port;
    }
    if (server.host.isEmpty() || server.host.contains(QLatin1Char(' ')))
        return std::nullopt;
    return server;
}

} // namespace inet
