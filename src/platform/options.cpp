#include "platform/options.h"

namespace {

// The options that take a file name: "--name FILE", "--name=FILE" and the
// short form, if any, "-x FILE".
struct FileOption
{
    QLatin1String name;
    QLatin1String shortName;
    QString Options::*value;
};

const FileOption FileOptions[] = {
    {QLatin1String("--config"), QLatin1String("-c"), &Options::settingsFile},
    {QLatin1String("--log-json"), QLatin1String(), &Options::jsonLogFile},
};

// The file option that arg is, if any; its value too when it is given as
// "--name=FILE" (null when the next argument holds it). "--name=" alone is
// no option at all.
const FileOption *fileOption(const QString &arg, QString *value)
{
    for (const FileOption &option : FileOptions) {
        if (arg == option.name || (!option.shortName.isEmpty() && arg == option.shortName))
            return &option;
        if (arg.size() > option.name.size() + 1 && arg.startsWith(option.name + QLatin1Char('='))) {
            *value = arg.mid(option.name.size() + 1);
            return &option;
        }
    }
    return nullptr;
}

} // namespace

Options parseOptions(const QStringList &arguments)
{
    Options options;
    qsizetype i = 0;
    for (; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg == QLatin1String("--")) {
            ++i;
            break;
        }
        // A lone "-" is no option; neither is anything after the first
        // argument that does not start with one.
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-"))
            break;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.action = Options::Action::Help;
        } else if (arg == QLatin1String("--version") || arg == QLatin1String("-V")) {
            if (options.action != Options::Action::Help)
                options.action = Options::Action::Version;
        } else if (QString value; const FileOption *option = fileOption(arg, &value)) {
            if (value.isNull()) {
                if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                    options.action = Options::Action::Wrong;
                    options.error = QStringLiteral("option %1 needs a file name").arg(arg);
                    return options;
                }
                value = arguments.at(++i);
            }
            options.*option->value = value;
        } else {
            options.action = Options::Action::Wrong;
            options.error
                = QStringLiteral("unknown option %1 (quelmo --help lists them; \"--\" ends the options)").arg(arg);
            return options;
        }
    }
    options.arguments = arguments.mid(i);
    return options;
}

QString usageText(const QString &settingsFile)
{
    return QStringLiteral("Usage: quelmo [OPTION]... [SITE] [,COMMAND]\n"
                          "       quelmo [OPTION]... COMMAND\n"
                          "Runs one FTP transfer job: the COMMAND given here, then the site's listed\n"
                          "commands prenos1..prenos20, then the site's programs run1..run20.\n"
                          "\n"
                          "Options (before the site and the command; \"--\" ends them):\n"
                          "  -c, --config FILE    read the settings from FILE\n"
                          "      --log-json FILE  append to FILE one JSON line per finished, failed or\n"
                          "                       skipped file and one for the end of the job\n"
                          "  -h, --help           show this text and exit\n"
                          "  -V, --version        show the version and exit\n"
                          "\n"
                          "COMMAND is PATTERN[,DIRECTION[,OPTION]]:\n"
                          "  PATTERN    a file name or a wildcard pattern (* and ?), appended to the\n"
                          "             site's directory prefix\n"
                          "  DIRECTION  DOWN downloads; empty or UP uploads\n"
                          "  OPTION     DEL deletes each source after its transfer\n"
                          "A first token that names a site section with an FTPURL selects that site.\n"
                          "With no arguments the program asks for a command.\n"
                          "\n"
                          "Settings file (now: %1)\n"
                          "  [PROGRAM] IZBRANO=SITE    the site used unless the command line names one\n"
                          "  [SITE]    FTPURL=HOST[:PORT]  ftpdir=/remote/  localdir=/local/\n"
                          "            uporabnik=USER  geslo=PASSWORD\n"
                          "            verify=size|hash  uploadtemp=0|1  pavze=1|0\n"
                          "            datamode=active|passive|auto  tls=none|explicit|implicit\n"
                          "            tlsca=FILE  tlspin=sha256//BASE64\n"
                          "            prenos1..prenos20=COMMAND  run1..run20=PROGRAM [ARGUMENTS]\n"
                          "\n"
                          "Every finished file is logged to VANTREL.log in the working directory.\n"
                          "The JSON records (--log-json):\n"
                          "  file: record=\"file\", time (UTC, ISO 8601), site, server, direction\n"
                          "        (upload|download), name, source, destination, outcome\n"
                          "        (delivered|failed|skipped), bytes, seconds, attempts, verification\n"
                          "        (text or null), delete, sourceDeleted, error (text or null)\n"
                          "  end:  record=\"end\", time, started, site, server, exitCode, delivered,\n"
                          "        failed, skipped, bytes, seconds, errors (list of texts)\n"
                          "Problems and warnings go to standard error, one line each.\n"
                          "\n"
                          "Exit codes:\n"
                          "  0  the job ran to its end\n"
                          "  1  a file still failed after its third attempt\n"
                          "  2  the connection could not be opened, a wrong option, or an unreadable\n"
                          "     settings file given with --config\n"
                          "  3  the user ended the job\n"
                          "  4  a follow-up program could not be started\n"
                          "  5  the job ran to its end, but something was skipped or worked around\n"
                          "\n"
                          "See quelmo(1) for more.\n")
        .arg(settingsFile);
}
