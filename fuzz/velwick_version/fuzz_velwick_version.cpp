// The updater's reading of the website's version file, and its checks of a downloaded
// program body against the announced length, the published digest and the signature.

#include "ReleaseCheck.h"
#include "VersionFile.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const PublishedVersion published = readVersionFile(body);
    ReleaseCheck::isVersion(published.version);
    ReleaseCheck::judge(body, -1, published.sha256, published.signature, ReleaseCheck::builtInKey());
    // Any text may arrive as the published digest, any bytes as the signature.
    ReleaseCheck::judge(body, qint64(size), published.version, body.left(64), body.left(32));
    return 0;
}
