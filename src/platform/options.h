#pragma once

#include <QString>
#include <QStringList>

// The program's own options, which come before the site and the transfer
// command; "--" ends them. Whatever follows is handed to the job as it
// stands.
struct Options
{
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    // --config FILE: the settings file instead of the one beside the program.
    QString settingsFile;
    // --log-json FILE: a JSON record of every file and of the job's end,
    // one object a line, appended to FILE.
    QString jsonLogFile;
    // The site and the transfer command, for the job's own grammar.
    QStringList arguments;
    // What is wrong with the options (Action::Wrong).
    QString error;
};

// The arguments without the program's own name.
Options parseOptions(const QStringList &arguments);

// The text of --help; settingsFile is where the settings are looked for.
QString usageText(const QString &settingsFile);
