#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The value of one key of one section of a settings file; "" when there is
// none. Values come back cut to 254 characters.
QString ReadSetting(const QString &section, const QString &key, const QString &file);

// The key names of one section, in the file's order; nothing when the file
// or the section is missing.
std::optional<QStringList> ReadSectionKeys(const QString &section, const QString &file);

// Cuts the first token off a list string ("," separates, ";" ends the
// list, both quote characters switch quoting, the character with code 1
// stands for a double quote) and leaves the left-trimmed rest in list.
QString NextToken(QString &list);

// The one test for an empty setting, command or list: blank when it sorts at
// or before a single space (empty, " ", or starting with a control char).
bool isBlank(const QString &text);
inline bool isPresent(const QString &text)
{
    return !isBlank(text);
}
