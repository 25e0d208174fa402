// The XML parts of an Office Open XML document (document, workbook with its shared strings,
// relations and sheets, presentation with its relations and slides) read into text, without
// the zip container around them, so that mutations reach the XML readers. The input is a run
// of parts, each a name line and the part's bytes, ended by a zero byte.

#include "OoxmlText.h"
#include "TextSink.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    OoxmlPackage package;
    for (const QByteArray& chunk : input.split('\0')) {
        const int newline = chunk.indexOf('\n');
        if (newline > 0)
            package.addPart(QString::fromUtf8(chunk.left(newline)), chunk.mid(newline + 1));
    }
    TextSink sink(1 << 20);
    package.extract(sink);
    return 0;
}
