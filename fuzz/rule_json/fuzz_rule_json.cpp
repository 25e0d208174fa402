// rule.json, fetched (judged like a reply) and shipped (read as a file is), to the form's two
// readers of it: the stage guessed from a title and the type roots suggested for a file path.
// Input: the title (also taken as the file path) up to the first newline, then the rules.

#include "form/MyAssetTypeDialog.h"
#include "form/MyEditformWidget.h"
#include "net/RequestClient.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const int end = input.indexOf('\n');
    const QString title = QString::fromUtf8(input.left(end < 0 ? 0 : end));
    const QByteArray body = end < 0 ? input : input.mid(end + 1);
    bool sessionEnded = false;
    const QJsonObject fetched = RequestClient::judgeBody(body, false, sessionEnded);
    const QJsonObject shipped = QJsonDocument::fromJson(body).object();
    for (const QJsonObject& rules : { fetched, shipped }) {
        MyEditformWidget::stageFromTitle(rules, title);
        const QStringList roots = MyAssetTypeDialog::typeRootsFor(rules, title);
        // At most one root per rule.
        if (roots.size() > rules.value("typidroot").toArray().size())
            abort();
    }
    return 0;
}
