// The upload service's answer head, line by line as the piece transport's header callback
// gets it, and the reason phrase taken from the last status line.

#include "upload/PieceTransport.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray head(reinterpret_cast<const char*>(data), int(size));
    QByteArray statusLine;
    int from = 0;
    while (from < head.size()) {
        int end = head.indexOf('\n', from);
        end = end < 0 ? head.size() : end + 1;
        PieceTransport::keepStatusLine(head.data() + from, 1, size_t(end - from), &statusLine);
        from = end;
    }
    PieceTransport::reasonPhrase(statusLine);
    return 0;
}
