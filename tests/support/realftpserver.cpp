#include "support/realftpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

#ifndef QUELMO_TEST_SUPPORT_DIR
#error "QUELMO_TEST_SUPPORT_DIR must name the folder holding realserver.py"
#endif
#ifndef QUELMO_REALSERVERS_DIR
#error "QUELMO_REALSERVERS_DIR must name where realserver.py unpacks the servers"
#endif

namespace {

// The first start unpacks the packages; later ones only start the server.
constexpr int StartTimeoutMs = 180000;
constexpr int StopTimeoutMs = 10000;

} // namespace

RealFtpServer::RealFtpServer() = default;

RealFtpServer::~RealFtpServer()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        // realserver.py stops its server when its standard input ends.
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(StopTimeoutMs)) {
            m_process->terminate();
            m_process->waitForFinished(StopTimeoutMs);
        }
    }
}

QString RealFtpServer::unavailable()
{
    if (::geteuid() != 0)
        return QStringLiteral("vsftpd and proftpd chroot their sessions, which needs root");
    return QString();
}

bool RealFtpServer::start(const QString &kind, const QStringList &extraArgs)
{
    m_kind = kind;
    m_dir = std::make_unique<QTemporaryDir>();
    // The root itself stays read-only for vsftpd's anonymous sessions; the
    // folder below it takes the uploads.
    if (!m_dir->isValid() || !QDir(m_dir->path()).mkpath(QStringLiteral("root/up"))) {
        m_error = QStringLiteral("cannot create the server's folder");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setStandardErrorFile(m_dir->filePath(QStringLiteral("realserver.log")));
    m_process->start(QStringLiteral("/usr/bin/python3"),
                     QStringList{QStringLiteral(QUELMO_TEST_SUPPORT_DIR "/realserver.py"), kind,
                                 QStringLiteral("--root"), m_dir->filePath(QStringLiteral("root")),
                                 QStringLiteral("--prefix"), QStringLiteral(QUELMO_REALSERVERS_DIR)}
                         + extraArgs);
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired() && m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        while (m_process->canReadLine()) {
            const QByteArray line = m_process->readLine().trimmed();
            if (line.startsWith("READY ")) {
                m_port = static_cast<quint16>(line.mid(6).toUInt());
                return m_port != 0;
            }
        }
    }
    QFile log(m_dir->filePath(QStringLiteral("realserver.log")));
    m_error = QStringLiteral("%1 did not start: %2")
                  .arg(kind, log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).trimmed()
                                                           : QStringLiteral("(no log)"));
    return false;
}

QString RealFtpServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString RealFtpServer::user() const
{
    // vsftpd runs anonymous sessions; proftpd has the test user.
    return m_kind == QLatin1String("vsftpd") ? QStringLiteral("anonymous") : QStringLiteral("quelmo");
}

QString RealFtpServer::writablePrefix() const
{
    return QStringLiteral("/up/");
}

QString RealFtpServer::localPath(const QString &remotePath) const
{
    return m_dir->filePath(QStringLiteral("root") + remotePath);
}
