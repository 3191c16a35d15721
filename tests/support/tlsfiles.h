#pragma once

// The certificates of the TLS tests (tlscerts.py), made once per test
// program into a folder of its own: a test authority, certificates it
// issued for the loopback names (valid, expired, for another name), one
// that signs itself, and the pins of the two keys as curl writes them.

#include <QString>
#include <QStringList>

#include "platform/inet/options.h"

struct TestCertificates
{
    QString caFile;
    QString trusted;    // issued by the CA for 127.0.0.1, ::1, localhost
    QString expired;    // the same names, valid only in 2020
    QString wrongName;  // issued by the CA for ftp.example.org alone
    QString serverKey;  // the key of the three above
    QString selfSigned; // for the loopback names, signed by itself
    QString selfSignedKey;
    QString serverPin; // sha256//BASE64 of serverKey's public key
    QString selfSignedPin;
};

// Fails the calling test (and returns empty paths) when the certificates
// cannot be made.
const TestCertificates &testCertificates();

// The test server's switches for a TLS server with one certificate and its
// key: explicit or implicit, encryption required on every connection.
QStringList tlsServerArgs(inet::Security security, const QString &certificate, const QString &key);
