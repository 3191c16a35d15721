#include "platform/qtdesktop.h"

#include "platform/coarseclock.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <QTime>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {
constexpr qint64 DayMs = 24 * 60 * 60 * 1000;
} // namespace

QtDesktop::QtDesktop(QStringList arguments, QString settingsFile, QString jsonLogFile)
    : mArguments(std::move(arguments)), mSettingsFile(std::move(settingsFile)), mJsonLogFile(std::move(jsonLogFile))
{
    // The clock of the day is read once; after that a monotonic clock,
    // cheap enough to ask for every block, carries it on.
    mClockStartNs = coarseMonotonicNs();
    mMidnightOffsetMs = QTime::currentTime().msecsSinceStartOfDay();
    // The window's events run at the program's one beat.
    setBeat(&EventPump::beat());
#ifdef Q_OS_LINUX
    // The job's pauses end when they say: by default Linux lets a sleeping
    // thread's timer fire up to 50 µs late, to save wake-ups. The job (on
    // this thread) pauses once or twice per file; those wake-ups cost
    // nothing, the delays add up over a folder of small files.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

void QtDesktop::sleep(int ms)
{
    QThread::msleep(static_cast<unsigned long>(ms > 0 ? ms : 0));
}

void QtDesktop::pauseAfter(int ms, const std::function<void()> &first)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    first();
    std::this_thread::sleep_until(end);
}

void QtDesktop::letEventsRun()
{
    EventPump::now();
}

void QtDesktop::pumpEventsNow()
{
    EventPump::now();
}

void QtDesktop::exitProgram(int exitCode)
{
    // Whatever was written to the standard streams must still reach the
    // scheduler's log; nothing else is tidied up.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

bool QtDesktop::startProgram(const QString &commandLine, QString *error)
{
    const QStringList parts = QProcess::splitCommand(commandLine);
    if (parts.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty command line");
        return false;
    }
    QProcess process;
    process.setProgram(parts.first());
    process.setArguments(parts.mid(1));
    if (!process.startDetached()) {
        if (error)
            *error = process.errorString();
        return false;
    }
    return true;
}

QString QtDesktop::prompt(const QString &text, const QString &title)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        // Nobody can see an offscreen dialog: read one line instead, and
        // let the end of the input stand for Cancel.
        std::cout << text.toStdString() << std::flush;
        std::string line;
        if (!std::getline(std::cin, line))
            return QString();
        QString answer = QString::fromStdString(line);
        if (answer.endsWith(QLatin1Char('\r')))
            answer.chop(1);
        return answer;
    }
    const std::unique_ptr<QInputDialog> dialog = promptDialog(text, title);
    return dialog->exec() == QDialog::Accepted ? dialog->textValue() : QString();
}

std::unique_ptr<QInputDialog> QtDesktop::promptDialog(const QString &text, const QString &title)
{
    auto dialog = std::make_unique<QInputDialog>();
    dialog->setWindowTitle(title);
    dialog->setLabelText(text);
    dialog->setTextEchoMode(QLineEdit::Normal);
    dialog->setTextValue(QString());
    return dialog;
}

double QtDesktop::timer()
{
    // The coarse clock moves every few milliseconds, while a transfer asks
    // for the time with every block: the divisions are done once per tick.
    const qint64 now = coarseMonotonicNs();
    if (now != mTimerNs) {
        const qint64 elapsedMs = (now - mClockStartNs) / 1'000'000;
        mTimer = double((mMidnightOffsetMs + elapsedMs) % DayMs) / 1000.0;
        mTimerNs = now;
    }
    return mTimer;
}

QDateTime QtDesktop::now()
{
    return QDateTime::currentDateTime();
}

QString QtDesktop::programDirectory()
{
    return QCoreApplication::applicationDirPath();
}

QString QtDesktop::commandLine()
{
    return mArguments.join(QLatin1Char(' '));
}

QString QtDesktop::settingsFile()
{
    return mSettingsFile;
}

QString QtDesktop::jsonLogFile()
{
    return mJsonLogFile;
}
