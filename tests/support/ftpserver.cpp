#include "support/ftpserver.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#ifndef QUELMO_TEST_SUPPORT_DIR
#error "QUELMO_TEST_SUPPORT_DIR must name the folder holding ftpserver.py"
#endif

namespace {

// Debian's interpreter: pyftpdlib is installed for it, not for whatever
// python3 happens to come first on PATH.
const QString kPython = QStringLiteral("/usr/bin/python3");
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 3000;

} // namespace

FtpTestServer::FtpTestServer() = default;

FtpTestServer::~FtpTestServer()
{
    stop();
}

bool FtpTestServer::start(const Options &options)
{
    stop();
    m_error.clear();
    m_port = 0;
    m_host = options.host;
    m_transcriptStart = 0;

    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid() || !QDir(m_dir->path()).mkpath(QStringLiteral("root"))) {
        m_error = QStringLiteral("cannot create the server folder: ") + m_dir->errorString();
        return false;
    }

    const QString script = QStringLiteral(QUELMO_TEST_SUPPORT_DIR "/ftpserver.py");
    if (!QFileInfo::exists(script)) {
        m_error = QStringLiteral("server script not found: ") + script;
        return false;
    }

    m_process = std::make_unique<QProcess>();
    // A pyenv or virtualenv of the developer must not redirect Debian's
    // interpreter to another standard library.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PYTHONHOME"));
    env.remove(QStringLiteral("PYTHONPATH"));
    m_process->setProcessEnvironment(env);
    // stderr goes to a file: nobody reads a pipe while a test runs, and a
    // server blocked on a full pipe would look like a client bug.
    m_process->setStandardErrorFile(m_dir->filePath(QStringLiteral("server.log")));
    QStringList args{script,
                     QStringLiteral("--root"),
                     root(),
                     QStringLiteral("--host"),
                     m_host,
                     QStringLiteral("--port"),
                     QStringLiteral("0"),
                     QStringLiteral("--transcript"),
                     m_dir->filePath(QStringLiteral("transcript.log"))};
    args += options.extraArgs;
    // The stdin pipe stays open for the server's whole life; it exits when
    // the pipe closes, also when this test process dies.
    m_process->start(kPython, args);
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(kPython, m_process->errorString());
        m_process.reset();
        return false;
    }

    const QDeadlineTimer deadline(kStartTimeoutMs);
    for (;;) {
        while (m_process->canReadLine()) {
            const QByteArray line = m_process->readLine().trimmed();
            if (line.startsWith("READY ")) {
                bool ok = false;
                const uint port = line.mid(6).toUInt(&ok);
                if (ok && port > 0 && port <= 0xffff) {
                    m_port = static_cast<quint16>(port);
                    return true;
                }
                m_error = QStringLiteral("bad READY line: ") + QString::fromUtf8(line);
                stop();
                return false;
            }
        }
        if (m_process->state() == QProcess::NotRunning) {
            m_error = QStringLiteral("server exited before listening: ") + serverLog();
            m_process.reset();
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("server did not report READY within %1 s: %2")
                          .arg(kStartTimeoutMs / 1000)
                          .arg(serverLog());
            stop();
            return false;
        }
        m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}

void FtpTestServer::stop()
{
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning) {
            m_process->closeWriteChannel();
            if (!m_process->waitForFinished(kStopTimeoutMs)) {
                m_process->kill();
                m_process->waitForFinished(kStopTimeoutMs);
            }
        }
        m_process.reset();
    }
    // The folder is kept until the next start() or destruction, so a test
    // can still look at what the server left behind.
    m_port = 0;
}

bool FtpTestServer::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running && m_port != 0;
}

QString FtpTestServer::address() const
{
    const QString host = m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return host + QLatin1Char(':') + QString::number(m_port);
}

QString FtpTestServer::root() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("root")) : QString();
}

void FtpTestServer::writeFile(const QString &relPath, const QByteArray &data)
{
    const QString path = QDir(root()).filePath(relPath);
    QFile file(path);
    if (!QFileInfo(path).dir().mkpath(QStringLiteral(".")) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(data) != data.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << file.errorString().toStdString();
    }
}

QByteArray FtpTestServer::readFile(const QString &relPath) const
{
    const QString path = QDir(root()).filePath(relPath);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << ": " << file.errorString().toStdString();
        return {};
    }
    return file.readAll();
}

bool FtpTestServer::exists(const QString &relPath) const
{
    return !m_dir ? false : QFileInfo::exists(QDir(root()).filePath(relPath));
}

void FtpTestServer::mkdir(const QString &relPath)
{
    if (!QDir(root()).mkpath(relPath))
        ADD_FAILURE() << "cannot create folder " << relPath.toStdString() << " under " << root().toStdString();
}

QStringList FtpTestServer::transcript() const
{
    // PORT h1,h2,h3,h4,p1,p2 and EPRT |af|address|port| (any delimiter)
    static const QRegularExpression portPort(QStringLiteral("^(PORT \\d+,\\d+,\\d+,\\d+),\\d+,\\d+$"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression eprtPort(QStringLiteral("^(EPRT (.)\\d+\\2.*\\2)\\d+\\2$"),
                                             QRegularExpression::CaseInsensitiveOption);
    QStringList lines = transcriptLines().mid(m_transcriptStart);
    for (QString &line : lines) {
        line.replace(portPort, QStringLiteral("\\1,*,*"));
        line.replace(eprtPort, QStringLiteral("\\1*\\2"));
    }
    return lines;
}

void FtpTestServer::clearTranscript()
{
    m_transcriptStart = transcriptLines().size();
}

QStringList FtpTestServer::transcriptLines() const
{
    if (!m_dir)
        return {};
    QFile file(m_dir->filePath(QStringLiteral("transcript.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast(); // after the last line break; split() always yields it
    return lines;
}

QString FtpTestServer::serverLog() const
{
    if (!m_dir)
        return {};
    QFile log(m_dir->filePath(QStringLiteral("server.log")));
    if (!log.open(QIODevice::ReadOnly))
        return QStringLiteral("(no server log)");
    const QString text = QString::fromUtf8(log.readAll()).trimmed();
    return text.isEmpty() ? QStringLiteral("(server log is empty)") : text.right(2000);
}
