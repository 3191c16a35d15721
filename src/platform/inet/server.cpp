#include "platform/inet/server.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace inet {

namespace {

struct Scheme
{
    QLatin1StringView prefix;
    Security security;
};

constexpr Scheme Schemes[] = {
    {QLatin1StringView("ftp://"), Security::None},
    {QLatin1StringView("ftps://"), Security::ImplicitTls},
    {QLatin1StringView("ftpes://"), Security::ExplicitTls},
};

const Scheme *schemeOf(QStringView text)
{
    for (const Scheme &scheme : Schemes) {
        if (text.startsWith(scheme.prefix, Qt::CaseInsensitive))
            return &scheme;
    }
    return nullptr;
}

std::optional<quint16> parsePort(const QString &text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535 || text.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return static_cast<quint16>(port);
}

// "host", "host:port", "[IPv6]:port" and the bare address forms.
std::optional<ServerAddress> parseHostAndPort(const QString &s, quint16 defaultPort)
{
    ServerAddress server;
    server.port = defaultPort;

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

// What may follow the scheme: a host and a port, and at most a "/". The
// folders of a site are its own settings, and credentials in the address
// would end up in every text that shows the address.
Result<QString> urlAuthority(const QString &url, const Scheme &scheme)
{
    QString rest = url.mid(scheme.prefix.size());
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[/?#]")));
    const QString tail = end < 0 ? QString() : rest.mid(end);
    rest.truncate(end < 0 ? rest.size() : end);
    if (rest.contains(QLatin1Char('@')))
        return Failure::because(ErrorInvalidUrl,
                                QStringLiteral("the server address carries a user name or password "
                                               "(before \"@\"); give them as the site's own settings"));
    if (!tail.isEmpty() && tail != QLatin1String("/"))
        return Failure::because(ErrorInvalidUrl,
                                QStringLiteral("the server address %1 names a path (%2); only a host and a port may "
                                               "follow %3")
                                    .arg(scheme.prefix + rest + tail, tail, scheme.prefix));
    return rest;
}

} // namespace

Result<ServerAddress> parseServer(const QString &text, quint16 defaultPort)
{
    QString s = text.trimmed();
    if (const Scheme *scheme = schemeOf(s)) {
        const Result<QString> authority = urlAuthority(s, *scheme);
        if (!authority)
            return authority.failure();
        s = *authority;
    } else if (const qsizetype colon = s.indexOf(QStringLiteral("://")); colon > 0) {
        return Failure::because(ErrorUnrecognizedScheme,
                                QStringLiteral("the server address starts with %1, which is not one of ftp://, "
                                               "ftps:// and ftpes://")
                                    .arg(s.left(colon + 3)));
    }
    const auto server = parseHostAndPort(s, defaultPort);
    if (!server)
        return Failure{ErrorNameNotResolved};
    return *server;
}

std::optional<Security> schemeSecurity(const QString &text)
{
    const Scheme *scheme = schemeOf(text.trimmed());
    return scheme ? std::optional<Security>(scheme->security) : std::nullopt;
}

} // namespace inet
