#include "settings/sitekeys.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

// Every key of a site section the program reads; a new key is added here.
const QStringList PlainKeys
    = {QStringLiteral("FTPURL"), QStringLiteral("ftpdir"), QStringLiteral("localdir"),   QStringLiteral("uporabnik"),
       QStringLiteral("geslo"),  QStringLiteral("verify"), QStringLiteral("uploadtemp"), QStringLiteral("datamode"),
       QStringLiteral("tls"),    QStringLiteral("tlsca"),  QStringLiteral("tlspin"),     QStringLiteral("pavze")};
// Lists: the stem followed by a number from 1 to 20, no leading zeros.
const QStringList ListStems = {QStringLiteral("prenos"), QStringLiteral("run")};
constexpr int ListEntries = 20;

// Letters to insert, delete or change to turn one word into the other,
// without regard to letter case.
int editDistance(const QString &a, const QString &b)
{
    const QString x = a.toLower();
    const QString y = b.toLower();
    std::vector<int> row(size_t(y.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// Close enough to be a typing mistake rather than another word.
bool closeEnough(const QString &typed, const QString &known)
{
    return editDistance(typed, known) <= std::clamp(int(known.size()) / 3, 1, 3);
}

bool isListNumber(const QString &digits)
{
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok && n >= 1 && n <= ListEntries && !digits.startsWith(QLatin1Char('0'));
}

QString meant(const QString &key, const QString &suggestion)
{
    return QStringLiteral("key \"%1\" is not known and never read (did you mean \"%2\"?)").arg(key, suggestion);
}

} // namespace

QString unknownSiteKey(const QString &key)
{
    static const QRegularExpression numbered(QStringLiteral("^(.*?)(\\d+)$"));
    const QRegularExpressionMatch match = numbered.match(key);
    const QString stem = match.hasMatch() ? match.captured(1) : key;
    const QString digits = match.hasMatch() ? match.captured(2) : QString();

    for (const QString &known : PlainKeys) {
        if (key.compare(known, Qt::CaseInsensitive) == 0)
            return QString();
    }
    for (const QString &known : ListStems) {
        if (stem.compare(known, Qt::CaseInsensitive) != 0)
            continue;
        if (isListNumber(digits))
            return QString();
        return QStringLiteral("key \"%1\" is never read: the list runs from %2%3 to %2%4, without leading zeros")
            .arg(key, known)
            .arg(1)
            .arg(ListEntries);
    }

    for (const QString &known : PlainKeys) {
        if (closeEnough(key, known))
            return meant(key, known);
    }
    for (const QString &known : ListStems) {
        if (!digits.isEmpty() && closeEnough(stem, known))
            return meant(key, known + (isListNumber(digits) ? digits : QStringLiteral("1")));
    }
    return QStringLiteral("key \"%1\" is not known and never read").arg(key);
}
