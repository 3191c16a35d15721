#include "settings/settings.h"

#include "platform/profile.h"

namespace {
// The reader copies at most this many characters, terminator included.
constexpr int SettingBufferChars = 255;
} // namespace

QString ReadSetting(const QString &section, const QString &key, const QString &file)
{
    return profile::readString(section, key, QString(), SettingBufferChars, file);
}

std::optional<QStringList> ReadSectionKeys(const QString &section, const QString &file)
{
    return profile::sectionKeys(section, file);
}

QString NextToken(QString &list)
{
    QString token;
    bool quoted = false;
    qsizetype pos = 0;
    QChar stop;
    for (; pos < list.size(); ++pos) {
        const QChar c = list.at(pos);
        if ((c == QLatin1Char(',') || c == QLatin1Char(';')) && !quoted) {
            stop = c;
            break;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\''))
            quoted = !quoted;
        else if (c == QChar(1))
            token += QLatin1Char('"');
        else
            token += c;
    }

    if (stop == QLatin1Char(',') && pos + 1 < list.size()) {
        qsizetype rest = pos + 1;
        while (rest < list.size() && list.at(rest) == QLatin1Char(' '))
            ++rest;
        list = list.mid(rest);
    } else {
        list.clear();
    }
    return token;
}

bool isBlank(const QString &text)
{
    return text.compare(QStringLiteral(" "), Qt::CaseSensitive) <= 0;
}
