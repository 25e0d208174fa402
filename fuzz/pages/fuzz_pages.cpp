// A list reply of the website as the pages show it: the request client's judgement, then, for
// an accepted reply, the total and page bar from "_meta" and the rows of the three resource
// tabs (awaiting review, reviewed, recycle bin), and the commission page's records with its
// page bar and page total. The windows are built once, off screen.

#include "OffscreenApp.h"
#include "net/Endpoints.h"
#include "net/RequestClient.h"
#include "ui/ListBaseTabContent.h"
#include "ui/ListDaishen.h"
#include "ui/ListHuishou.h"
#include "ui/ListYishen.h"
#include "ui/MyPaginationWidget.h"
#include "ui/MyTichengBody.h"

#include <QApplication>
#include <cstddef>
#include <cstdint>

namespace {

struct Pages
{
    ListDaishen daishen;
    ListYishen yishen;
    ListHuishou huishou;
    MyTichengBody ordinary { 0 };
    MyTichengBody premium { 1 };
};

Pages* pages = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Off screen, with a throw-away configuration, and every host on a closed port: the pages
    // ask the site for their first page when built, and those requests fail at once.
    for (const char* role : { "VANTREL_WEBSITE_URL", "VANTREL_ACCOUNT_URL", "VANTREL_NEWS_URL" })
        qputenv(role, "https://127.0.0.1:9");
    qputenv("VANTREL_UPLOAD_URL", "http://127.0.0.1:9");
    Endpoints::reload();
    startOffscreenApp("fuzz_pages");
    pages = new Pages;
    // Let the failed first requests come back before any input is fed.
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!pages)
        LLVMFuzzerInitialize(nullptr, nullptr);
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    bool sessionEnded = false;
    const QJsonObject reply = RequestClient::judgeBody(body, false, sessionEnded);
    // Only a reply the pages accept reaches their readers.
    if (sessionEnded || ListBaseTabContent::isClientFailure(reply) || reply.value(QLatin1String("code")).toInt() != 0)
        return 0;
    const QJsonArray rows = reply.value(QLatin1String("data")).toArray();
    for (ListBaseTabContent* tab :
         { static_cast<ListBaseTabContent*>(&pages->daishen), static_cast<ListBaseTabContent*>(&pages->yishen),
           static_cast<ListBaseTabContent*>(&pages->huishou) }) {
        tab->renderMeta(reply);
        tab->initTBody(rows);
    }
    for (MyTichengBody* body : { &pages->ordinary, &pages->premium }) {
        body->pagination()->setMeta(reply.value(QLatin1String("_meta")).toObject());
        body->renderRows(rows);
        MyTichengBody::pageTotalText(rows, body->kind());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
