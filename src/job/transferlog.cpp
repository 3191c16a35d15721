// The transfer log: one line per finished file, appended to VANTREL.log in
// the working directory, the file opened and closed for every line.

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>

#include "platform/desktop.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

namespace {

const QString LogFileName = QStringLiteral("VANTREL.log");
const QString Arrow = QStringLiteral("----->");

// The locale's short date and its time with seconds, without a time zone:
// a log is read by people and by scripts that expect the same shape daily.
QString stamp(const QDateTime &when)
{
    const QLocale locale;
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + locale.toString(when.time(), timeFormat.trimmed());
}

// A path with a control character in it is written escaped ("\r", "\n"):
// every line of the log is one entry, whatever the names.
QString logPath(const QString &path)
{
    QString text;
    text.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('\r'))
            text += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            text += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            text += QStringLiteral("\\t");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

// An error text keeps its line breaks (a server's reply often has several),
// but every line after the first starts with a blank: no server text can
// begin a line of the log and pass for an entry of its own.
QString errorLines(const QString &error)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = error.split(lineBreak);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            lines[i].prepend(QLatin1Char(' '));
    }
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

void FrmUpdate::LogSuccess(const QString &source, const QString &destination)
{
    QString error;
    if (!appendLogLine(stamp(mDesktop.now()) + QLatin1Char(' ') + logPath(source) + Arrow + logPath(destination),
                       &error))
        reportLogProblem(source, destination, error);
}

void FrmUpdate::LogFailure(const QString &source, const QString &destination, const QString &error)
{
    QString logError;
    if (!appendLogLine(QStringLiteral("NAPAKA") + stamp(mDesktop.now()) + QLatin1Char(' ') + logPath(source) + Arrow
                           + logPath(destination) + QLatin1Char(' ') + errorLines(error),
                       &logError))
        reportLogProblem(source, destination, logError);
}

bool FrmUpdate::appendLogLine(const QString &line, QString *error)
{
    QFile log(LogFileName);
    const QByteArray bytes = (line + QStringLiteral("\r\n")).toUtf8();
    if (log.open(QIODevice::WriteOnly | QIODevice::Append) && log.write(bytes) == bytes.size() && log.flush())
        return true;
    *error = log.errorString();
    return false;
}

// The job goes on: the files matter more than their record. The window
// names the log as the job knows it, the scheduler's log names it in full,
// as the working directory of a scheduled job is rarely where one looks.
void FrmUpdate::reportLogProblem(const QString &source, const QString &destination, const QString &error)
{
    reportProblem(
        QStringLiteral("Napaka: v dnevnik %1 ni mogoče pisati: %2").arg(LogFileName, error),
        diagnostics::fileText(
            source, destination,
            QStringLiteral("not written to the log %1: %2").arg(QFileInfo(LogFileName).absoluteFilePath(), error)));
}
