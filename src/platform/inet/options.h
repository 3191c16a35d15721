#pragma once

// The plain values a connection is opened with. They are read once, when the
// connection opens; an open connection keeps what it was opened with.
namespace inet {

// Who opens the data connection: we listen (PORT, EPRT) or the server does
// (EPSV, PASV).
enum class DataMode { Active, Passive };

// How the server is to send a file: as text lines, or byte for byte.
enum class TransferType { Ascii, Binary };

// Whether, and from when, the connection is encrypted: not at all, after
// AUTH TLS on the plain port, or from the first byte.
enum class Security { None, ExplicitTls, ImplicitTls };

struct ConnectOptions
{
    DataMode mode = DataMode::Active;
    Security security = Security::None;
};

} // namespace inet
