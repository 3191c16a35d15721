#pragma once

// Debian's vsftpd or proftpd on loopback for one test, through
// tests/support/realserver.py (unpacked into the build tree, never
// installed), with explicit FTPS: the server's certificate and key, every
// data connection required to resume the control connection's session.
// Needs root, as both servers chroot their sessions.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

class RealFtpServer
{
public:
    RealFtpServer();
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer &) = delete;
    RealFtpServer &operator=(const RealFtpServer &) = delete;

    // kind: "vsftpd" or "proftpd"; extraArgs: more switches of
    // realserver.py (--tls CERT KEY, --tls-version 1.2). False, with the
    // reason in errorString(), when it does not come up.
    bool start(const QString &kind, const QStringList &extraArgs);
    QString errorString() const { return m_error; }

    QString address() const;
    QString user() const;
    QString password() const { return QStringLiteral("zelkar"); }
    // Where files may be written, as a remote prefix ("/up/" on vsftpd,
    // whose root stays read-only) and on disk.
    QString writablePrefix() const;
    QString localPath(const QString &remotePath) const;

    // Empty when this machine can run the real servers; else why not.
    static QString unavailable();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_kind;
    quint16 m_port = 0;
    QString m_error;
};
