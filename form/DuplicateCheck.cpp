#include "form/DuplicateCheck.h"

#include "net/Endpoints.h"
#include "net/MyDAO.h"

#include <QUrlQuery>

void checkFingerprint(const QString& md5, std::function<void(int)> callback)
{
    QUrlQuery query;
    query.addQueryItem("file_md5", md5);
    MyDAO::instance()->httpGet(
        URL_SUBSET_CHECK, query,
        [callback](QJsonObject& reply) {
            // Only a null "data" says the site does not have the file. A failed request has no
            // "data" at all and therefore counts as known as well.
            const bool known = !reply.contains("data") || !reply.value("data").isNull();
            if (callback)
                callback(known ? 2 : 1);
        },
        nullptr);
}
