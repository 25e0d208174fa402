#pragma once

#include <QByteArray>
#include <QString>

// What a downloaded program must show before it is installed.
namespace ReleaseCheck {

// The raw 32-byte Ed25519 public key that releases are signed with (the build names it);
// empty in a build that names none.
QByteArray builtInKey();

// A version as the site publishes it: digits and dots, maybe a short suffix of letters and
// digits ("2.29.0.210301", "3.0-rc1"). Anything else never reaches a URL or a file name.
bool isVersion(const QString& text);

// An Ed25519 signature (64 bytes) of `data` by the holder of `key` (32 raw bytes).
bool signatureValid(const QByteArray& data, const QByteArray& signature, const QByteArray& key);

// Empty when `body` may be installed, else why not. A body is refused when it is shorter or
// longer than the announced length (-1: none announced), empty, no program of this system,
// not of the published SHA-256 (empty: none published), or, with a `key`, without a valid
// signature. It must also be shown whole: by the announced length, the digest or the signature.
QString judge(const QByteArray& body, qint64 announced, const QString& sha256Hex, const QByteArray& signature,
              const QByteArray& key);

} // namespace ReleaseCheck
