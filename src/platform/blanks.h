#pragma once

#include <QString>

// The text without its leading and trailing blanks. Only blanks: a tab or a
// line break is part of a name or a command as the settings and the command
// line give it, so QString::trimmed() would take too much.
//
// The job strips its command line with it and cFTP the paths it is given.
// It sits below both, header-only and with nothing but QtCore under it, as
// cFTP must not reach the settings or the desktop.
inline QString stripBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}
