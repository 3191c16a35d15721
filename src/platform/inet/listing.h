#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Turning the lines of a directory listing into entries, and the wildcard
// match the client applies to them. Servers disagree about listing formats,
// so everything here is forgiving about layout but strict about the parts we
// act on: a line whose size or name we cannot trust is dropped, never guessed.
namespace inet {

struct RemoteEntry
{
    QString name;     // as the server sent it (for symlinks: the link's own name, without " -> target")
    qint64 size = -1; // -1 when the line gives none (also for device files)
    bool isDirectory = false;
    bool isSymlink = false;
};

// One line of `ls -l` style output.
[[nodiscard]] std::optional<RemoteEntry> parseUnixListLine(QStringView line);
// One line of DOS / IIS style output.
[[nodiscard]] std::optional<RemoteEntry> parseDosListLine(QStringView line);
// One RFC 3659 MLSD line. The "cdir" and "pdir" entries come back as "." and
// "..", whatever path the server wrote, so callers can drop them by name.
[[nodiscard]] std::optional<RemoteEntry> parseMlsdLine(QStringView line);
// One line of LIST output: Unix style first, then DOS style.
[[nodiscard]] std::optional<RemoteEntry> parseListLine(QStringView line);

// Parses a whole LIST or MLSD body (lines separated by CR LF or LF); lines that
// do not parse are skipped, not fatal ("total 12" lines, blank lines, garbage).
QList<RemoteEntry> parseListing(QStringView body, bool mlsd);

// The entry as a search delivers it: its name alone, what follows the last
// "/" (some servers answer with paths). Nothing for an entry that is never
// delivered: one without a name, "." or "..".
[[nodiscard]] std::optional<RemoteEntry> searchEntry(RemoteEntry entry);

// Matches the last path component on the client: '*' any run (also empty),
// '?' exactly one character, everything else literal and case-sensitive.
[[nodiscard]] bool wildcardMatch(QStringView pattern, QStringView name);
// True when the pattern holds '*' or '?'.
[[nodiscard]] bool hasWildcard(QStringView pattern);

} // namespace inet
