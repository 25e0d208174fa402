// A JSON reply body of the website, as the request client judges it for a page's callback
// and for the login, then as the submission and the login read the envelope they get.

#include "form/AssetSubmission.h"
#include "net/LoginFormData.h"
#include "net/RequestClient.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    for (const bool login : { false, true }) {
        bool sessionEnded = false;
        const QJsonObject reply = RequestClient::judgeBody(body, login, sessionEnded);
        if (sessionEnded)
            continue;
        judgeSubmissionReply(reply);
        replyErrcode(reply);
    }
    return 0;
}
