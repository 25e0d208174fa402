// A PDF file read into page texts by the document converter stand-in.

#include "FuzzFile.h"
#include "PdfText.h"
#include "TextSink.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const FuzzFile file(".pdf");
    const QString path = file.write(data, size);
    if (path.isEmpty())
        return 0;
    TextSink sink;
    extractPdfText(path, sink);
    return 0;
}
