#pragma once

#include <QString>

// Which names a job can move under their own name. A name comes from a
// server's listing or a local folder and goes into an FTP command, a local
// path and the log; one that cannot make that way unchanged is skipped,
// never bent into another name.
namespace names {

enum class Problem {
    None,
    // CR, LF or NUL: it cannot travel inside one command line.
    LineBreak,
    // ".", ".." or nothing: not a file of the folder.
    DotName,
    // "/": a path, not a name.
    Separator,
    // Bytes that are not UTF-8, the connection's encoding and the local
    // file system's: read back, they name another file or none.
    NotEncodable,
    // Longer than the local file system takes.
    TooLong,
};

// What keeps the name from moving as itself. localPath is where it is read
// from or written to; the length is checked for a file that is to be
// written there.
Problem check(const QString &name, const QString &localPath, bool writtenLocally);

// In English, for standard error: "it holds a line break".
QString describe(Problem problem);

// True when path, made of the prefix and a name, lies in the folder the
// prefix names (and not, by some "..", beside or above it).
bool liesIn(const QString &prefix, const QString &path);

} // namespace names
