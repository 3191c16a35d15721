#pragma once

#include <QString>

// A server may repeat what it was sent, the password included, and its
// reply then travels on to the window, the log and standard error. Every
// occurrence of the password as a word of its own is masked, whatever its
// length; one inside a longer word is left alone, so that a password of one
// letter does not garble every word that holds that letter.
//
// Header-only with nothing but QtCore under it: the Internet layer masks
// the replies it keeps, and the job the lines it prints.
inline QString maskSecret(QString text, const QString &secret, const QString &mask)
{
    if (secret.isEmpty())
        return text;
    auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(secret, from);
        if (at < 0)
            return text;
        const qsizetype end = at + secret.size();
        const bool alone = (at == 0 || !isWordChar(text.at(at - 1)) || !isWordChar(secret.front()))
                           && (end == text.size() || !isWordChar(text.at(end)) || !isWordChar(secret.back()));
        if (alone) {
            text.replace(at, secret.size(), mask);
            from = at + mask.size();
        } else {
            from = at + 1;
        }
    }
}
