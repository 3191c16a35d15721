#pragma once

#include <QString>

// The lines the program writes to standard error for the scheduler's log.
// Every such line is made here, so that they all read alike:
//   quelmo: error: [SECTION] SERVER: TEXT
//   quelmo: error: [SECTION] SERVER: SOURCE -> DESTINATION: REASON
//   quelmo: warning: [SECTION] SERVER: TEXT
// What is not known yet (no site chosen, no server) is left out.
namespace diagnostics {

enum class Kind { Error, Warning };

struct Where
{
    QString section;
    QString server;
    // Never printed: masked wherever it shows up in a text as a word of
    // its own, whatever its length.
    QString secret;
};

// Always exactly one line, without its line end: line breaks and other
// control characters inside the text (a server's reply ends with CR LF)
// become blanks, trailing blanks go.
QString line(Kind kind, const Where &where, const QString &text);

// The text of a file's problem: "SOURCE -> DESTINATION: REASON".
QString fileText(const QString &source, const QString &destination, const QString &reason);

// Writes one line to standard error, at once.
void print(const QString &line);

} // namespace diagnostics
