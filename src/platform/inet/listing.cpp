#include "platform/inet/listing.h"

#include <QLatin1String>

#include <limits>

namespace inet {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// ASCII only: QChar::isDigit() would let Arabic-Indic digits into a size.
bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool allDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

int smallNumber(QStringView digits)
{
    int value = 0;
    for (QChar c : digits)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

// A size the server wrote in decimal. A value past qint64 is not clamped:
// a line that lies about its size would make the progress and the size
// check of a download lie too, so the caller drops it.
std::optional<qint64> parseSize(QStringView text)
{
    if (!allDigits(text))
        return std::nullopt;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (QChar c : text) {
        const int digit = c.unicode() - u'0';
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// Lines handed in one by one may still carry the CR LF of the data stream.
QStringView chomp(QStringView line)
{
    while (!line.isEmpty() && (line.back() == u'\r' || line.back() == u'\n'))
        line.chop(1);
    return line;
}

// Walks a line token by token; tokens are runs of non-blanks.
class Cursor
{
public:
    explicit Cursor(QStringView text) : m_text(text) {}

    void skipBlanks()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    // The next token, empty at the end of the line.
    QStringView next()
    {
        skipBlanks();
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && !isBlank(m_text[m_pos]))
            ++m_pos;
        return m_text.sliced(start, m_pos - start);
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype pos() const { return m_pos; }
    QStringView rest() const { return m_text.sliced(m_pos); }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

// ---- Unix ------------------------------------------------------------------

bool isPermissionField(QStringView field)
{
    if (field.size() != 10 && field.size() != 11)
        return false;
    if (!QStringView(u"-dlcbps").contains(field[0]))
        return false;
    for (qsizetype i = 1; i < 10; ++i) {
        if (!QStringView(u"-rwxsStTlL").contains(field[i]))
            return false;
    }
    // ACL ('+'), extended attributes ('@') and SELinux context ('.') marks.
    return field.size() == 10 || QStringView(u"+@.").contains(field[10]);
}

bool isMonth(QStringView token)
{
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (token.size() != 3)
        return false;
    for (const char *month : months) {
        if (token.compare(QLatin1String(month), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isDay(QStringView token)
{
    if (token.size() > 2 || !allDigits(token))
        return false;
    const int day = smallNumber(token);
    return day >= 1 && day <= 31;
}

// "09:41" for recent files, "2025" for older ones; a few servers add seconds.
bool isTimeOrYear(QStringView token)
{
    if (token.size() == 4 && allDigits(token))
        return true;
    const qsizetype colon = token.indexOf(u':');
    if (colon < 1 || colon > 2)
        return false;
    const QStringView hours = token.first(colon);
    QStringView minutes = token.sliced(colon + 1);
    if (minutes.size() == 5 && minutes[2] == u':' && allDigits(minutes.sliced(3)))
        minutes = minutes.first(2);
    return allDigits(hours) && smallNumber(hours) < 24 && minutes.size() == 2 && allDigits(minutes)
           && smallNumber(minutes) < 60;
}

// ---- DOS -------------------------------------------------------------------

// MM-DD-YY or MM-DD-YYYY; IIS writes '-', some Windows servers '/'.
bool isDosDate(QStringView token)
{
    const qsizetype first = token.indexOf(u'-') >= 0 ? token.indexOf(u'-') : token.indexOf(u'/');
    if (first < 1 || first > 2)
        return false;
    const QChar separator = token[first];
    const qsizetype second = token.indexOf(separator, first + 1);
    if (second < first + 2 || second > first + 3)
        return false;
    const QStringView year = token.sliced(second + 1);
    return allDigits(token.first(first)) && allDigits(token.sliced(first + 1, second - first - 1))
           && (year.size() == 2 || year.size() == 4) && allDigits(year);
}

bool isMeridiem(QStringView token)
{
    return token.compare(QLatin1String("AM"), Qt::CaseInsensitive) == 0
           || token.compare(QLatin1String("PM"), Qt::CaseInsensitive) == 0;
}

// "09:41AM", "09:41PM" or 24-hour "21:41". Tells whether AM/PM was attached.
bool isDosTime(QStringView token, bool *hasMeridiem)
{
    *hasMeridiem = token.size() > 2 && isMeridiem(token.last(2));
    if (*hasMeridiem)
        token.chop(2);
    const qsizetype colon = token.indexOf(u':');
    if (colon < 1 || colon > 2 || token.size() - colon - 1 != 2)
        return false;
    const QStringView hours = token.first(colon);
    const QStringView minutes = token.sliced(colon + 1);
    return allDigits(hours) && smallNumber(hours) < 24 && allDigits(minutes) && smallNumber(minutes) < 60;
}

// ---- MLSD ------------------------------------------------------------------

bool sameWord(QStringView a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// A surrogate pair is one character to '?', so "?.txt" matches an emoji name.
// The '*' backtracking may step into the middle of a pair; that changes
// nothing, since '?' there takes the lone low half, the same as if the '*'
// had stopped before the pair and '?' had taken all of it.
qsizetype charLength(QStringView text, qsizetype at)
{
    if (at + 1 < text.size() && text[at].isHighSurrogate() && text[at + 1].isLowSurrogate())
        return 2;
    return 1;
}

// The "type" fact of an MLSD line.
void applyMlsdType(RemoteEntry &entry, QStringView value)
{
    if (sameWord(value, "dir")) {
        entry.isDirectory = true;
    } else if (sameWord(value, "cdir")) {
        // Some servers name the listed directory by its full path; as "."
        // the caller's filter drops it instead of recursing.
        entry.isDirectory = true;
        entry.name = QStringLiteral(".");
    } else if (sameWord(value, "pdir")) {
        entry.isDirectory = true;
        entry.name = QStringLiteral("..");
    } else if (value.startsWith(QLatin1String("OS.unix=symlink"), Qt::CaseInsensitive)
               || value.startsWith(QLatin1String("OS.unix=slink"), Qt::CaseInsensitive)) {
        // We cannot tell what it points at, so it is handled as a file.
        entry.isSymlink = true;
    }
}

} // namespace

std::optional<RemoteEntry> parseUnixListLine(QStringView line)
{
    line = chomp(line);
    Cursor cursor(line);
    const QStringView permissions = cursor.next();
    if (!isPermissionField(permissions))
        return std::nullopt;
    const QChar type = permissions[0];

    // Owner, group and even the link count come and go between servers, and
    // owner names can be anything, so instead of counting columns we look for
    // the date: month, day, time-or-year. The size is the token before it.
    QStringView window[4];
    int tokenIndex = 0;
    for (;;) {
        const QStringView token = cursor.next();
        if (token.isEmpty())
            return std::nullopt;
        ++tokenIndex;
        window[0] = window[1];
        window[1] = window[2];
        window[2] = window[3];
        window[3] = token;
        // The permissions and at least one more column come before the size.
        if (tokenIndex < 4)
            continue;
        if (!isMonth(window[1]) || !isDay(window[2]) || !isTimeOrYear(window[3]))
            continue;

        RemoteEntry entry;
        entry.isDirectory = type == u'd';
        entry.isSymlink = type == u'l';
        if (type == u'c' || type == u'b') {
            // "4, 1" is major and minor number, not a size.
            entry.size = -1;
        } else {
            if (!allDigits(window[0]))
                continue; // a month-like owner or group; the real date is further on
            const std::optional<qint64> size = parseSize(window[0]);
            if (!size)
                return std::nullopt;
            entry.size = *size;
        }

        // ls puts exactly one blank before the name; anything after it,
        // leading blanks included, belongs to the name.
        if (cursor.atEnd())
            return std::nullopt;
        QStringView name = line.sliced(cursor.pos() + 1);
        if (entry.isSymlink) {
            const qsizetype arrow = name.indexOf(u" -> ");
            if (arrow >= 0)
                name = name.first(arrow);
        }
        if (name.isEmpty())
            return std::nullopt;
        entry.name = name.toString();
        return entry;
    }
}

std::optional<RemoteEntry> parseDosListLine(QStringView line)
{
    line = chomp(line);
    Cursor cursor(line);
    if (!isDosDate(cursor.next()))
        return std::nullopt;
    bool hasMeridiem = false;
    if (!isDosTime(cursor.next(), &hasMeridiem))
        return std::nullopt;
    QStringView sizeOrDir = cursor.next();
    if (!hasMeridiem && isMeridiem(sizeOrDir))
        sizeOrDir = cursor.next(); // "09:41 PM" from servers that space it out

    RemoteEntry entry;
    if (sizeOrDir.compare(QLatin1String("<DIR>"), Qt::CaseInsensitive) == 0) {
        entry.isDirectory = true;
    } else {
        const std::optional<qint64> size = parseSize(sizeOrDir);
        if (!size)
            return std::nullopt;
        entry.size = *size;
    }

    // The size column is padded to a width, so the blanks before the name
    // are layout; a name that really starts with a blank cannot be told apart.
    cursor.skipBlanks();
    const QStringView name = cursor.rest();
    if (name.isEmpty())
        return std::nullopt;
    entry.name = name.toString();
    return entry;
}

std::optional<RemoteEntry> parseMlsdLine(QStringView line)
{
    line = chomp(line);
    // Fact values cannot hold a blank, so the first one ends the facts and
    // everything after it is the name, blanks and all.
    const qsizetype space = line.indexOf(u' ');
    if (space < 0)
        return std::nullopt;
    const QStringView facts = line.first(space);
    if (!facts.isEmpty() && facts.back() != u';')
        return std::nullopt;
    const QStringView name = line.sliced(space + 1);
    if (name.isEmpty())
        return std::nullopt;

    RemoteEntry entry;
    entry.name = name.toString();
    std::optional<qint64> size;
    std::optional<qint64> sizd;
    qsizetype from = 0;
    while (from < facts.size()) {
        const qsizetype semicolon = facts.indexOf(u';', from);
        const QStringView fact = facts.sliced(from, semicolon - from);
        from = semicolon + 1;
        if (fact.isEmpty())
            continue;
        // Split at the first '=': "type=OS.unix=symlink" has another one in the value.
        const qsizetype equals = fact.indexOf(u'=');
        if (equals <= 0)
            return std::nullopt;
        const QStringView key = fact.first(equals);
        const QStringView value = fact.sliced(equals + 1);
        if (sameWord(key, "type")) {
            applyMlsdType(entry, value);
        } else if (sameWord(key, "size")) {
            size = parseSize(value);
            if (!size)
                return std::nullopt;
        } else if (sameWord(key, "sizd")) {
            sizd = parseSize(value);
            if (!sizd)
                return std::nullopt;
        }
    }
    entry.size = size ? *size : sizd ? *sizd : -1;
    return entry;
}

std::optional<RemoteEntry> parseListLine(QStringView line)
{
    if (std::optional<RemoteEntry> entry = parseUnixListLine(line))
        return entry;
    return parseDosListLine(line);
}

QList<RemoteEntry> parseListing(QStringView body, bool mlsd)
{
    QList<RemoteEntry> entries;
    qsizetype from = 0;
    while (from < body.size()) {
        qsizetype end = body.indexOf(u'\n', from);
        if (end < 0)
            end = body.size();
        QStringView line = body.sliced(from, end - from);
        from = end + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        std::optional<RemoteEntry> entry = mlsd ? parseMlsdLine(line) : parseListLine(line);
        if (entry)
            entries.append(std::move(*entry));
    }
    return entries;
}

std::optional<RemoteEntry> searchEntry(RemoteEntry entry)
{
    entry.name = entry.name.mid(entry.name.lastIndexOf(u'/') + 1);
    if (entry.name.isEmpty() || entry.name == u"." || entry.name == u"..")
        return std::nullopt;
    return entry;
}

bool wildcardMatch(QStringView pattern, QStringView name)
{
    // Greedy match remembering only the last '*': on a mismatch that '*'
    // swallows one more character and we retry from just after it. Earlier
    // stars never need revisiting, which keeps this O(pattern * name)
    // instead of exponential for patterns like "*a*a*a*b".
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starPattern = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            ++p;
            n += charLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            ++starName;
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool hasWildcard(QStringView pattern)
{
    return pattern.contains(u'*') || pattern.contains(u'?');
}

} // namespace inet
