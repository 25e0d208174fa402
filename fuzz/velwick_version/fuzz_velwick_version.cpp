// The updater's reading of the website's version file, and its checks of a downloaded
// program body against the announced length and the published digest.

#include "ExeReplacer.h"
#include "VersionFile.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const PublishedVersion published = readVersionFile(body);
    ExeReplacer::verify(body, -1, published.sha256);
    // Any text may arrive as the published digest.
    ExeReplacer::verify(body, qint64(size), published.version);
    return 0;
}
