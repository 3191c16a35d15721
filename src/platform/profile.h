#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The reading rules of the desktop's profile-string service, over INI files:
// - "[name]" opens a section, "key=value" gives a value; names match without
//   regard to letter case; lines starting with ";" are comments;
// - the value loses its surrounding blanks and one pair of matching quotes;
// - of repeated sections or keys the first wins;
// - a missing file, section or key gives the default;
// - the text copied is cut to bufferChars - 1 characters.
// A UTF-8 or UTF-16LE byte-order mark is honoured; a file that is not valid
// UTF-8 is taken as windows-1250, the code page of a Slovenian desktop.
namespace profile {

QString readString(const QString &section, const QString &key, const QString &defaultValue, int bufferChars,
                   const QString &path);

// The key names of a section, in the file's order, the first of repeated
// keys only; nothing when the file or the section is missing.
std::optional<QStringList> sectionKeys(const QString &section, const QString &path);

// Exposed for tests: the decoding of a settings file's bytes.
QString decode(const QByteArray &bytes);

} // namespace profile
