#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "platform/inet/control.h"

// Asking a server for the hash of a whole file: the HASH command of the
// draft that FEAT announces ("HASH SHA-256*;SHA-1;MD5", the current one
// starred, changed with "OPTS HASH <name>"), or else the older XSHA256,
// XSHA1 and XMD5 commands.
namespace inet {

enum class HashAlgorithm { Sha256, Sha1, Md5 };

// The strongest first: the order in which we take what a server offers.
inline constexpr HashAlgorithm HashPreference[] = {HashAlgorithm::Sha256, HashAlgorithm::Sha1, HashAlgorithm::Md5};

struct HashMethod
{
    enum class Command { Hash, XCommand };
    Command command;
    HashAlgorithm algorithm;

    friend bool operator==(const HashMethod &, const HashMethod &) = default;
};

// "SHA-256", "SHA-1", "MD5": the names HASH and FEAT use.
QString hashName(HashAlgorithm algorithm);
// "XSHA256", "XSHA1", "XMD5".
QString hashXCommand(HashAlgorithm algorithm);

// What a FEAT reply says about HASH: the algorithms it lists, in our order
// of preference, and the one it marks as current. Nothing when FEAT has no
// HASH line or the line names none of ours.
struct HashFeature
{
    QList<HashAlgorithm> offered;
    std::optional<HashAlgorithm> current;
};
std::optional<HashFeature> parseHashFeature(const QString &features);

// The X-commands a FEAT reply lists (some servers do), best first.
QList<HashAlgorithm> listedXCommands(const QString &features);

// The hex digits of the hash in a reply to HASH ("213 SHA-256 0-99 <hex>
// <path>") or to an X-command ("250 <hex>", "213 <hex>", sometimes with
// the path), in lower case. Nothing when the reply holds no run of hex
// digits of the algorithm's length, or HASH names another algorithm.
std::optional<QString> parseHashReply(const Reply &reply, const HashMethod &method);

} // namespace inet
