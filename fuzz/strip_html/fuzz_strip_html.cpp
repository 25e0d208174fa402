// A resource title from the website (list rows and commission records) made plain text.

#include "intake/FileTypes.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    stripHtml(QString::fromUtf8(reinterpret_cast<const char*>(data), int(size)));
    return 0;
}
