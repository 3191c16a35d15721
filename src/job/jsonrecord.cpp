// The job's machine-readable record (--log-json): one JSON object a line,
// appended to a file, for every file that was delivered, failed or was
// skipped, and one for the end of the job, however it ends. VANTREL.log is
// for people and stays as it is; this one is for scripts.

#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

#include <cmath>
#include <utility>

#include "platform/desktop.h"
#include "platform/exitcode.h"
#include "platform/secretmask.h"
#include "window/frmupdate.h"

namespace {

const QString Mask = QStringLiteral("***");
constexpr double DaySeconds = 24 * 60 * 60;

// UTC with milliseconds: records of jobs that run side by side sort by it.
QJsonValue utc(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

// A text that may be missing is null rather than "", so that a script
// tells "no check" from a check without a name.
QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

// A problem's text as it reaches the record: the password masked, and
// without the line end that closes a server's reply (the lines inside a
// reply of several stay).
QString problemText(const QString &text, const QString &secret)
{
    QString masked = maskSecret(text, secret, Mask);
    qsizetype end = masked.size();
    while (end > 0 && masked.at(end - 1).isSpace())
        --end;
    masked.truncate(end);
    return masked;
}

// Milliseconds are all the clock can tell; more digits would be noise.
double roundedSeconds(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

QString outcomeName(FrmUpdate::FileOutcome::Result result)
{
    switch (result) {
    case FrmUpdate::FileOutcome::Result::Delivered:
        return QStringLiteral("delivered");
    case FrmUpdate::FileOutcome::Result::Failed:
        return QStringLiteral("failed");
    case FrmUpdate::FileOutcome::Result::Skipped:
        break;
    }
    return QStringLiteral("skipped");
}

} // namespace

void FrmUpdate::startRecord()
{
    mRecord.path = mDesktop.jsonLogFile();
    mRecord.started = mDesktop.now();
    mRecord.startedTimer = mDesktop.timer();
    // Every way the job ends goes through the desktop's end: the closing
    // record is written there, whether the job ran through, failed, lost
    // its server or was closed.
    if (!mRecord.path.isEmpty())
        mDesktop.setEndHook([this](int exitCode) { return endRecord(exitCode); });
}

void FrmUpdate::recordFile(bool upload, const FileOutcome &outcome)
{
    switch (outcome.result) {
    case FileOutcome::Result::Delivered:
        ++mRecord.delivered;
        mRecord.bytes += outcome.bytes;
        break;
    case FileOutcome::Result::Failed:
        ++mRecord.failed;
        break;
    case FileOutcome::Result::Skipped:
        ++mRecord.skipped;
        break;
    }
    if (mRecord.path.isEmpty())
        return;
    appendRecord(QJsonObject{
        {QStringLiteral("record"), QStringLiteral("file")},
        {QStringLiteral("time"), utc(mDesktop.now())},
        {QStringLiteral("site"), textOrNull(mSection)},
        {QStringLiteral("server"), maskSecret(serverWithoutCredentials(), mPassword, Mask)},
        {QStringLiteral("direction"), upload ? QStringLiteral("upload") : QStringLiteral("download")},
        {QStringLiteral("name"), outcome.name},
        {QStringLiteral("source"), outcome.source},
        {QStringLiteral("destination"), outcome.destination},
        {QStringLiteral("outcome"), outcomeName(outcome.result)},
        {QStringLiteral("bytes"), outcome.bytes},
        {QStringLiteral("seconds"), roundedSeconds(outcome.seconds)},
        {QStringLiteral("attempts"), outcome.attempts},
        {QStringLiteral("verification"), textOrNull(outcome.verification)},
        {QStringLiteral("delete"), Chkbrisi->isChecked()},
        {QStringLiteral("sourceDeleted"), outcome.sourceDeleted},
        {QStringLiteral("error"), textOrNull(problemText(outcome.error, mPassword))},
    });
}

int FrmUpdate::endRecord(int exitCode)
{
    // The timer counts from midnight; a job may run across it.
    double seconds = mDesktop.timer() - mRecord.startedTimer;
    if (seconds < 0)
        seconds += DaySeconds;
    QJsonArray errors;
    for (const QString &error : std::as_const(mRecord.errors))
        errors.append(problemText(error, mPassword));
    const bool written = appendRecord(QJsonObject{
        {QStringLiteral("record"), QStringLiteral("end")},
        {QStringLiteral("time"), utc(mDesktop.now())},
        {QStringLiteral("started"), utc(mRecord.started)},
        {QStringLiteral("site"), textOrNull(mSection)},
        {QStringLiteral("server"), maskSecret(serverWithoutCredentials(), mPassword, Mask)},
        {QStringLiteral("exitCode"), exitCode},
        {QStringLiteral("delivered"), mRecord.delivered},
        {QStringLiteral("failed"), mRecord.failed},
        {QStringLiteral("skipped"), mRecord.skipped},
        {QStringLiteral("bytes"), mRecord.bytes},
        {QStringLiteral("seconds"), roundedSeconds(seconds)},
        {QStringLiteral("errors"), errors},
    });
    // A job that lost its record worked around a problem, like one that
    // lost a line of VANTREL.log; a worse end keeps its own code.
    if (!written && exitCode == ExitCode::Done)
        return ExitCode::WorkedAround;
    return exitCode;
}

// The file is opened for every record, like VANTREL.log, so that a log
// rotation between two files is harmless. Unbuffered: each line reaches the
// file in one write, whole, even when two jobs append to the same file.
bool FrmUpdate::appendRecord(const QJsonObject &record)
{
    QFile file(mRecord.path);
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) && file.write(line) == line.size())
        return true;
    // Said once for each reason: a job of a thousand files must not bury
    // the scheduler's log under a thousand copies of the same line.
    const QString reason = file.errorString();
    if (!mRecord.problems.contains(reason)) {
        mRecord.problems.insert(reason);
        reportError(QStringLiteral("not written to the JSON record %1: %2").arg(mRecord.path, reason));
    }
    return false;
}
