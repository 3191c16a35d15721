#include "support/tlsfiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#ifndef QUELMO_TEST_SUPPORT_DIR
#error "QUELMO_TEST_SUPPORT_DIR must name the folder holding tlscerts.py"
#endif

namespace {

constexpr int MakeTimeoutMs = 30000;

QString pinOf(const QString &pins, const QString &name)
{
    for (const QString &line : pins.split(QLatin1Char('\n'))) {
        if (line.section(QLatin1Char(' '), 0, 0) == name)
            return line.section(QLatin1Char(' '), 1, 1);
    }
    return QString();
}

TestCertificates make(const QTemporaryDir &dir)
{
    QProcess maker;
    maker.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(QUELMO_TEST_SUPPORT_DIR "/tlscerts.py"), dir.path()});
    if (!maker.waitForFinished(MakeTimeoutMs) || maker.exitStatus() != QProcess::NormalExit || maker.exitCode() != 0) {
        ADD_FAILURE() << "tlscerts.py failed: " << maker.readAllStandardError().toStdString();
        return {};
    }
    QFile pins(dir.filePath(QStringLiteral("pins.txt")));
    if (!pins.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "tlscerts.py wrote no pins.txt";
        return {};
    }
    const QString pinText = QString::fromLatin1(pins.readAll());
    const QDir files(dir.path());
    return TestCertificates{
        .caFile = files.filePath(QStringLiteral("ca.pem")),
        .trusted = files.filePath(QStringLiteral("trusted.pem")),
        .expired = files.filePath(QStringLiteral("expired.pem")),
        .wrongName = files.filePath(QStringLiteral("wrong-name.pem")),
        .serverKey = files.filePath(QStringLiteral("server.key")),
        .selfSigned = files.filePath(QStringLiteral("self-signed.pem")),
        .selfSignedKey = files.filePath(QStringLiteral("self-signed.key")),
        .serverPin = pinOf(pinText, QStringLiteral("server")),
        .selfSignedPin = pinOf(pinText, QStringLiteral("self-signed")),
    };
}

} // namespace

const TestCertificates &testCertificates()
{
    static QTemporaryDir dir;
    static const TestCertificates certificates = make(dir);
    return certificates;
}

QStringList tlsServerArgs(inet::Security security, const QString &certificate, const QString &key)
{
    QStringList args{QStringLiteral("--tls"), certificate, key};
    if (security == inet::Security::ImplicitTls)
        args << QStringLiteral("--implicit");
    return args;
}
