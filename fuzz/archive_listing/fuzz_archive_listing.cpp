// 7-Zip's output as the intake reads it: the test run's verdict, the entry table of a
// listing, and the entry lines parsed for the archive list dialog.

#include "intake/ArchiveEntry.h"
#include "intake/ArchiveTools.h"
#include "intake/ExternalTools.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray output = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    judgeTestRun([](const QString&) {}, utf8UntilZero(output), QStringLiteral("/tmp/a.7z"));
    bool nested = false;
    const QStringList lines = listingEntryLines(local8BitUntilZero(output), nested);
    parseArchiveEntries(lines.join(QStringLiteral("\r\n")));
    return 0;
}
