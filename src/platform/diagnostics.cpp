#include "platform/diagnostics.h"

#include <QRegularExpression>

#include "platform/secretmask.h"

#include <cstdio>

namespace diagnostics {

namespace {

const QString Program = QStringLiteral("quelmo");
const QString Mask = QStringLiteral("***");

// A reply's CR LF, a lone LF, tabs and the Unicode line separators would
// all break the one line a log reader expects.
QString flatten(QString text)
{
    static const QRegularExpression breaks(QStringLiteral("[\\x00-\\x1f\\x7f\\x{85}\\x{2028}\\x{2029}]+"));
    text.replace(breaks, QStringLiteral(" "));
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

} // namespace

QString line(Kind kind, const Where &where, const QString &text)
{
    QString result = Program + (kind == Kind::Error ? QStringLiteral(": error: ") : QStringLiteral(": warning: "));
    if (!where.section.isEmpty())
        result += QLatin1Char('[') + where.section + QStringLiteral("] ");
    if (!where.server.isEmpty())
        result += where.server + QStringLiteral(": ");
    result += text;
    // A server may echo what it was sent; the password stays out of the
    // log wherever it stands as a word of its own.
    return flatten(maskSecret(result, where.secret, Mask));
}

QString fileText(const QString &source, const QString &destination, const QString &reason)
{
    return source + QStringLiteral(" -> ") + destination + QStringLiteral(": ") + reason;
}

void print(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace diagnostics
