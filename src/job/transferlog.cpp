// The transfer log: one line per finished file, appended to VANTREL.log in
// the working directory, the file opened and closed for every line.

#include <QFile>
#include <QLabel>
#include <QLocale>

#include <iostream>

#include "platform/desktop.h"
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

} // namespace

void FrmUpdate::LogSuccess(const QString &source, const QString &destination)
{
    appendLogLine(stamp(mDesktop.now()) + QLatin1Char(' ') + source + Arrow + destination);
}

void FrmUpdate::LogFailure(const QString &source, const QString &destination, const QString &error)
{
    appendLogLine(QStringLiteral("NAPAKA") + stamp(mDesktop.now()) + QLatin1Char(' ') + source + Arrow + destination
                  + QLatin1Char(' ') + error);
}

void FrmUpdate::appendLogLine(const QString &line)
{
    QFile log(LogFileName);
    const QByteArray bytes = (line + QStringLiteral("\r\n")).toUtf8();
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(bytes) != bytes.size() || !log.flush()) {
        // The job goes on: the files matter more than their record.
        reportProblem(QStringLiteral("Napaka: v dnevnik %1 ni mogoče pisati: %2").arg(LogFileName, log.errorString()));
    }
}

void FrmUpdate::reportProblem(const QString &text)
{
    Label3->setText(text);
    std::cerr << text.toStdString() << std::endl;
}
