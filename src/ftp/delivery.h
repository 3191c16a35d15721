#pragma once

#include <QCryptographicHash>
#include <QString>

#include "platform/inet/remotehash.h"

// What a file must pass before it counts as delivered, and the names it
// has on its way. The checks themselves run in delivery.cpp, at the end of
// each streamed transfer; the job only learns the verdict.

// What a site asks of every file.
struct DeliveryPolicy
{
    enum class Verify {
        // The bytes that arrived are the bytes sent, and the server's final
        // reply is positive.
        Size,
        // A hash of the whole file as well, where the server can give one.
        Hash,
    };
    Verify verify = Verify::Size;
    // An upload goes to a temporary name beside its target and is renamed
    // to it once verified, so that nobody on the server ever sees half a
    // file under the real name.
    bool uploadTemporary = false;
};

// What the checks of the last file came to.
struct DeliveryReport
{
    qint64 bytes = 0;
    // The checks it passed: "size", "size, SHA-256"; "reply" when nothing
    // but the server's final reply could be checked (a text transfer, or a
    // server that gives no size).
    QString verification;
    // The site asked for a hash and the server offers none: size was used.
    bool hashUnavailable = false;
};

namespace delivery {

// ".NAME.part" in the folder of path (a local or a remote path, "/"
// separated). Where that would not fit in a name of 255 bytes, the start
// of the name is kept, followed by "~" and a short digest of the whole
// name, so that two long names do not share one temporary file.
QString temporaryPath(const QString &path);

QCryptographicHash::Algorithm localAlgorithm(inet::HashAlgorithm algorithm);

} // namespace delivery
