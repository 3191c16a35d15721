#include "platform/profile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringView>

#include <optional>

namespace profile {

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder utf16(QStringDecoder::Utf16LE);
        return utf16.decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(QStringDecoder::Utf16BE);
        return utf16.decode(bytes.mid(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder cp1250("windows-1250");
    if (cp1250.isValid())
        return cp1250.decode(bytes);
    return QString::fromLatin1(bytes);
}

namespace {

QString unquote(QStringView value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2).toString();
    }
    return value.toString();
}

// Calls entry(key, value) for each "key=value" line of the first section
// of that name, until it returns true; false when there is no such section.
template<typename Entry>
bool forEachEntry(const QString &text, const QString &section, Entry entry)
{
    bool inSection = false;
    bool sectionSeen = false;
    for (QStringView raw : QStringView(text).split(QLatin1Char('\n'))) {
        const QStringView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inSection)
                return true; // the first section of that name is the one
            qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = !sectionSeen && name.compare(section, Qt::CaseInsensitive) == 0;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals >= 0 && entry(line.left(equals).trimmed(), line.mid(equals + 1).trimmed()))
            return true;
    }
    return sectionSeen;
}

std::optional<QString> findValue(const QString &text, const QString &section, const QString &key)
{
    std::optional<QString> found;
    forEachEntry(text, section, [&](QStringView name, QStringView value) {
        if (name.compare(key, Qt::CaseInsensitive) != 0)
            return false;
        found = unquote(value);
        return true;
    });
    return found;
}

} // namespace

QString readString(const QString &section, const QString &key, const QString &defaultValue, int bufferChars,
                   const QString &path)
{
    if (bufferChars <= 0)
        return QString();
    QString value = defaultValue;
    QFile file(path);
    if (!section.trimmed().isEmpty() && !key.trimmed().isEmpty() && file.open(QIODevice::ReadOnly)) {
        if (auto found = findValue(decode(file.readAll()), section.trimmed(), key.trimmed()))
            value = *found;
    }
    return value.left(bufferChars - 1);
}

std::optional<QStringList> sectionKeys(const QString &section, const QString &path)
{
    QFile file(path);
    if (section.trimmed().isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList keys;
    const bool found = forEachEntry(decode(file.readAll()), section.trimmed(), [&](QStringView name, QStringView) {
        const QString key = name.toString();
        if (!key.isEmpty() && !keys.contains(key, Qt::CaseInsensitive))
            keys.append(key);
        return false;
    });
    if (!found)
        return std::nullopt;
    return keys;
}

} // namespace profile
