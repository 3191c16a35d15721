#include "platform/inet/remotehash.h"

#include <QStringList>

namespace inet {

namespace {

int hexDigits(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return 64;
    case HashAlgorithm::Sha1:
        return 40;
    case HashAlgorithm::Md5:
        return 32;
    }
    return 0;
}

std::optional<HashAlgorithm> algorithmNamed(QStringView name)
{
    for (HashAlgorithm algorithm : HashPreference) {
        if (name.compare(hashName(algorithm), Qt::CaseInsensitive) == 0)
            return algorithm;
    }
    return std::nullopt;
}

bool isHex(QStringView text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !(c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            return false;
    }
    return true;
}

// The lines of a FEAT reply without their code, each feature with its
// arguments.
QStringList featureLines(const QString &features)
{
    QStringList lines;
    for (const QString &line : features.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char(' ')))
            lines.append(line.trimmed());
    }
    return lines;
}

// The reply's first line after its code.
QString firstLineText(const Reply &reply)
{
    return reply.text.section(QStringLiteral("\r\n"), 0, 0).mid(4).trimmed();
}

} // namespace

QString hashName(HashAlgorithm algorithm)
{
    switch (algorithm) {
    case HashAlgorithm::Sha256:
        return QStringLiteral("SHA-256");
    case HashAlgorithm::Sha1:
        return QStringLiteral("SHA-1");
    case HashAlgorithm::Md5:
        return QStringLiteral("MD5");
    }
    return QString();
}

QString hashXCommand(HashAlgorithm algorithm)
{
    return QStringLiteral("X") + hashName(algorithm).remove(QLatin1Char('-'));
}

std::optional<HashFeature> parseHashFeature(const QString &features)
{
    for (const QString &line : featureLines(features)) {
        if (line.section(QLatin1Char(' '), 0, 0).compare(QLatin1String("HASH"), Qt::CaseInsensitive) != 0)
            continue;
        HashFeature feature;
        QList<HashAlgorithm> listed;
        const QString list = line.section(QLatin1Char(' '), 1).trimmed();
        for (QString name : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const bool current = name.endsWith(QLatin1Char('*'));
            if (current)
                name.chop(1);
            const auto algorithm = algorithmNamed(name.trimmed());
            if (!algorithm)
                continue;
            listed.append(*algorithm);
            if (current)
                feature.current = algorithm;
        }
        for (HashAlgorithm algorithm : HashPreference) {
            if (listed.contains(algorithm))
                feature.offered.append(algorithm);
        }
        if (feature.offered.isEmpty())
            return std::nullopt;
        return feature;
    }
    return std::nullopt;
}

QList<HashAlgorithm> listedXCommands(const QString &features)
{
    const QStringList lines = featureLines(features);
    QList<HashAlgorithm> listed;
    for (HashAlgorithm algorithm : HashPreference) {
        for (const QString &line : lines) {
            if (line.section(QLatin1Char(' '), 0, 0).compare(hashXCommand(algorithm), Qt::CaseInsensitive) == 0) {
                listed.append(algorithm);
                break;
            }
        }
    }
    return listed;
}

std::optional<QString> parseHashReply(const Reply &reply, const HashMethod &method)
{
    const QStringList words = firstLineText(reply).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int digits = hexDigits(method.algorithm);
    if (method.command == HashMethod::Command::Hash) {
        // <algorithm> <range> <hex> <path>
        if (words.size() < 3 || algorithmNamed(words.at(0)) != method.algorithm)
            return std::nullopt;
        const QString &hex = words.at(2);
        if (hex.size() != digits || !isHex(hex))
            return std::nullopt;
        return hex.toLower();
    }
    // Servers disagree on what else the line holds; the hash is the one
    // word of the right length made of hex digits.
    for (const QString &word : words) {
        if (word.size() == digits && isHex(word))
            return word.toLower();
    }
    return std::nullopt;
}

} // namespace inet
