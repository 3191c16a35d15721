#pragma once

#include <QString>

// The plain values a connection is opened with. They are read once, when the
// connection opens; an open connection keeps what it was opened with.
namespace inet {

// Who opens the data connection: we listen (PORT, EPRT) or the server does
// (EPSV, PASV). Auto is passive until a passive data connection cannot be
// made, and active from then on, for the rest of the connection.
enum class DataMode { Active, Passive, Auto };

// How the server is to send a file: as text lines, or byte for byte.
enum class TransferType { Ascii, Binary };

// Whether, and from when, the connection is encrypted: not at all, after
// AUTH TLS on the plain port, or from the first byte.
enum class Security { None, ExplicitTls, ImplicitTls };

// Whom an encrypted connection trusts. With neither given, the system's
// certificate authorities vouch for the server, under the name the server
// text gives.
struct TrustOptions
{
    // A PEM file of certificate authorities that replaces the system's.
    QString caFile;
    // "sha256//BASE64": the SHA-256 of the one public key (its DER
    // SubjectPublicKeyInfo) the server may present. It is then the only
    // test: a self-signed server with that key is accepted, any other key
    // refused.
    QString pinnedKey;
};

struct ConnectOptions
{
    DataMode mode = DataMode::Active;
    Security security = Security::None;
    TrustOptions trust;
};

} // namespace inet
