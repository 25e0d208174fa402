// A RAR archive's block headers, as the RAR stand-in reads them for the stored checksums.

#include "FuzzFile.h"
#include "RarIndex.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile file(".rar");
    const QString path = file.write(data, size);
    if (!path.isEmpty())
        readRarIndex(QFile::encodeName(path).toStdString());
    return 0;
}
