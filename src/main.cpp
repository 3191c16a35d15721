#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <cstdio>

#include "platform/diagnostics.h"
#include "platform/exitcode.h"
#include "platform/options.h"
#include "platform/pendingfiles.h"
#include "platform/qtdesktop.h"
#include "platform/qtstartup.h"
#include "window/frmupdate.h"

namespace {

void printOut(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

int refuse(const QString &text)
{
    diagnostics::print(diagnostics::line(diagnostics::Kind::Error, {}, text));
    return ExitCode::CannotStart;
}

// Where the settings are looked for without --config: beside the program.
QString defaultSettingsFile(const char *argv0)
{
    QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (program.isEmpty())
        program = QFileInfo(QFile::decodeName(argv0)).absoluteFilePath();
    return QFileInfo(program).absolutePath() + QStringLiteral("/quelmo.ini");
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Options options = parseOptions(arguments);

    switch (options.action) {
    case Options::Action::Help:
        printOut(usageText(options.settingsFile.isEmpty() ? defaultSettingsFile(argv[0])
                                                          : QFileInfo(options.settingsFile).absoluteFilePath()));
        return ExitCode::Done;
    case Options::Action::Version:
        printOut(QStringLiteral("quelmo %1\n").arg(QStringLiteral(QUELMO_VERSION)));
        return ExitCode::Done;
    case Options::Action::Wrong:
        return refuse(options.error);
    case Options::Action::Run:
        break;
    }

    // A settings file named on purpose must be there: a job run with
    // defaults instead would go to the wrong server.
    if (!options.settingsFile.isEmpty()) {
        options.settingsFile = QDir::cleanPath(QFileInfo(options.settingsFile).absoluteFilePath());
        QFile settings(options.settingsFile);
        if (QFileInfo(options.settingsFile).isDir())
            return refuse(QStringLiteral("settings file %1 is a folder").arg(options.settingsFile));
        if (!settings.open(QIODevice::ReadOnly))
            return refuse(QStringLiteral("settings file %1 cannot be read: %2")
                              .arg(options.settingsFile, settings.errorString()));
    }

    // The record goes where the command line meant it when it was given,
    // and its problems name it in full.
    if (!options.jsonLogFile.isEmpty())
        options.jsonLogFile = QDir::cleanPath(QFileInfo(options.jsonLogFile).absoluteFilePath());

    // A scheduler that stops the job, or a person pressing Ctrl+C, must not
    // leave a half-downloaded file behind.
    pendingfiles::removeOnSignals({SIGTERM, SIGINT, SIGHUP});
    qtstartup::choosePlatform();
    qtstartup::silenceQt();
    // Qt sees no arguments: they are the job's, and an argument that
    // happens to look like one of Qt's own (-style, -reverse) must not be
    // taken away from the job.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    qtstartup::loadSlovenianTranslation(app);
    if (const QString warning = qtstartup::displayFallbackWarning(); !warning.isEmpty())
        diagnostics::print(diagnostics::line(diagnostics::Kind::Warning, {}, warning));

    QtDesktop desktop(options.arguments, options.settingsFile, options.jsonLogFile);
    FrmUpdate window(desktop);
    window.Form_Load();
    window.show();
    QTimer::singleShot(0, &window, &FrmUpdate::Form_Activate);
    // The job ends the program itself; the loop only runs until it starts.
    return app.exec();
}
