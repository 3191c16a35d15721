#pragma once

#include <QFile>
#include <QObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

#include "ftp/cftp.h"
#include "support/datamode.h"
#include "support/ftplogin.h"
#include "support/ftpserver.h"
#include "support/tlsfiles.h"

// A cFTP logged in to a fresh test server in one data mode (over TLS when the
// link says so: explicit, the certificate trusted through the test
// authority), a local folder of
// the test's own, and everything the object tells its caller: the progress
// events, the time-left notes and the pauses. Nothing sleeps for real and
// every wait is short.
//
// Tests that start their server with fault switches of their own call
// begin() themselves; FtpClientTest below does it for them.
class FtpClientFixture
{
public:
    static constexpr int ShortTimeoutMs = 1500;

protected:
    using Event = std::pair<qint64, qint64>;

    void begin(inet::DataMode mode, const QStringList &serverArgs = {}) { begin(DataLink{mode}, serverArgs); }

    void begin(const DataLink &link, const QStringList &serverArgs = {})
    {
        if (link.encrypted()) {
            const TestCertificates &certificates = testCertificates();
            tlsArgs = tlsServerArgs(link.security, certificates.trusted, certificates.serverKey);
            ftp.SetSecurity(link.security, {certificates.caFile, {}});
        }
        ASSERT_TRUE(startServer(serverArgs));
        ASSERT_TRUE(local.isValid());
        ftp.SetTimeout(ShortTimeoutMs);
        ftp.SetPacing([](int) {}, [this](int ms) { sleeps.append(ms); });
        ftp.SetTransferBinary();
        if (link.mode == inet::DataMode::Passive)
            ftp.SetModePassive();
        else if (link.mode == inet::DataMode::Auto)
            ftp.SetModeAuto();
        else
            ftp.SetModeActive();
        QObject::connect(&ftp, &cFTP::FileTransferProgress, [this](qint64 current, qint64 total) {
            events.append({current, total});
        });
        QObject::connect(&ftp, &cFTP::transferNote, [this](const QString &text) { notes.append(text); });
        ASSERT_TRUE(connect());
    }

    // (Re)starts the server with these switches, encrypted as the link is.
    ::testing::AssertionResult startServer(const QStringList &serverArgs)
    {
        if (server.start({.extraArgs = serverArgs + tlsArgs}))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << server.errorString().toStdString();
    }

    // Logs in (again) as the server's one user.
    ::testing::AssertionResult connect() { return logIn(ftp, server); }

    QString localPath(const QString &name) const { return local.filePath(name); }

    void writeLocal(const QString &name, const QByteArray &data)
    {
        QFile file(localPath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(data), data.size());
    }

    QByteArray readLocal(const QString &name) const
    {
        QFile file(localPath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The streamed transfers between a file of the local folder and a
    // remote path; the paths they hand back are dropped.
    bool upload(const QString &localName, const QString &remote)
    {
        QString l = localPath(localName);
        QString r = remote;
        return ftp.FTPUploadFile(l, r);
    }

    bool download(const QString &remote, const QString &localName)
    {
        QString l = localPath(localName);
        QString r = remote;
        return ftp.FTPDownloadFile(l, r);
    }

    std::string error() const { return ftp.GetLastErrorMessage().toStdString(); }

    FtpTestServer server;
    QStringList tlsArgs;
    QTemporaryDir local;
    cFTP ftp;
    QList<int> sleeps;
    QList<Event> events;
    QStringList notes;
};

// The fixture for tests parameterised with the data link and no fault
// switches beyond serverArgs().
class FtpClientTest : public FtpClientFixture, public ::testing::TestWithParam<DataLink>
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(begin(GetParam(), serverArgs())); }

    virtual QStringList serverArgs() const { return {}; }
};
