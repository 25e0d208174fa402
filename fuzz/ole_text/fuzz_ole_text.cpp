// An OLE compound file (old Word, Excel, PowerPoint) as the document converter stand-in reads
// it before handing it to catdoc: which format it holds and whether its sector chains are sound.
// The last byte picks the file's suffix, which takes part in the format decision.

#include "Convert.h"
#include "FuzzFile.h"
#include "OleText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile files[] = { FuzzFile(".doc"), FuzzFile(".xls"), FuzzFile(".ppt") };
    const FuzzFile& file = files[size == 0 ? 0 : data[size - 1] % 3];
    const QString path = file.write(data, size);
    if (path.isEmpty())
        return 0;
    oleKind(path);
    compoundFileSound(path);
    return 0;
}
