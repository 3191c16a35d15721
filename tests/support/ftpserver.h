#pragma once

// A real FTP server (tests/support/ftpserver.py, pyftpdlib) on loopback for
// one test.  Each instance owns its own server process and a temporary root
// folder, so tests can prepare and inspect files on the server side directly.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTemporaryDir;

// Kept outside the class: a nested struct with default member initialisers
// cannot be used as `= {}` default argument inside its enclosing class.
struct FtpTestServerOptions
{
    QString host = QStringLiteral("127.0.0.1"); // or "::1"
    QStringList extraArgs;                      // fault switches of ftpserver.py, e.g. {"--refuse-stor", "1"}
};

class FtpTestServer
{
public:
    using Options = FtpTestServerOptions;

    static QString userName() { return QStringLiteral("quelmo"); }
    static QString serverPassword() { return QStringLiteral("zelkar"); }

    FtpTestServer();
    ~FtpTestServer();
    FtpTestServer(const FtpTestServer &) = delete;
    FtpTestServer &operator=(const FtpTestServer &) = delete;

    // Starts the server and waits for it to listen; on failure says why in
    // errorString().  A running server is stopped first.
    bool start(const Options &options = {});
    void stop();
    bool isRunning() const;
    QString errorString() const { return m_error; }

    quint16 port() const { return m_port; }
    QString host() const { return m_host; }
    QString address() const; // "127.0.0.1:2121" or "[::1]:2121"
    QString root() const;    // the user's home on disk

    // Paths are relative to root(); parent folders are created as needed.
    void writeFile(const QString &relPath, const QByteArray &data);
    QByteArray readFile(const QString &relPath) const;
    bool exists(const QString &relPath) const;
    void mkdir(const QString &relPath);

    // The commands the server received since it started or since the last
    // clearTranscript(), from all its sessions, one a line as the client
    // sent them, except that the password after PASS reads "******" and the
    // port of a PORT or EPRT address "*" (it differs from run to run). A
    // command is here once the client has read the reply to it.
    QStringList transcript() const;
    void clearTranscript();

private:
    QString serverLog() const;
    QStringList transcriptLines() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_host;
    quint16 m_port = 0;
    QString m_error;
    qsizetype m_transcriptStart = 0;
};
