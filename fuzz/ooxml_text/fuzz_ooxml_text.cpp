// An Office Open XML document (zip container and its XML parts) read into text by the
// document converter stand-in.

#include "FuzzFile.h"
#include "OoxmlText.h"
#include "TextSink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile file(".docx");
    const QString path = file.write(data, size);
    if (path.isEmpty())
        return 0;
    OoxmlPackage package;
    if (package.open(path) != Outcome::Ok)
        return 0;
    TextSink sink;
    package.extract(sink);
    return 0;
}
