#pragma once

#include <QString>

// The keys a site section may hold. A key the program does not read is a
// mistake that costs files without a word (a "lokaldir" leaves the local
// folder at its default), so the job names such keys.

// Empty for a key the program reads; otherwise why it is never read, with
// the key it was most likely meant to be.
QString unknownSiteKey(const QString &key);
