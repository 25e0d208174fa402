// A district list of the website as the region pickers read it: served over HTTP to the
// reference data's own request (so the request client judges it and the list is taken from the
// reply as the pickers get it), then read into the regions the pickers offer. Each input has
// reference data of its own, so that the cache of lists never answers instead.

#include "SiteAnswerer.h"
#include "form/MyLinkDistrictWidget.h"
#include "net/ReferenceData.h"
#include "net/RequestClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

SiteAnswerer* site = nullptr;
RequestClient* client = nullptr;
bool answered = false;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static QTemporaryDir* home = new QTemporaryDir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()));
    static int argc = 1;
    static char name[] = "fuzz_districts";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    Q_UNUSED(app);
    site = new SiteAnswerer;
    site->answerForEveryHost();
    client = new RequestClient([] { return QString(); });
    // A "code" 400 reply ends the session and reaches no callback.
    QObject::connect(client, &RequestClient::sessionInvalid, [] { answered = true; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!client)
        LLVMFuzzerInitialize(nullptr, nullptr);
    site->body = QByteArray(reinterpret_cast<const char*>(data), int(size));
    static const char* const tags[] = { "province", "city", "county" };
    ReferenceData references(client);
    QJsonArray list;
    answered = false;
    references.districts(tags[size % 3], int(size), [&list](QJsonArray data) {
        list = data;
        answered = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!answered && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (!answered)
        abort();
    const QList<MyOptionItem> regions = MyLinkDistrictWidget::readDistricts(list);
    // Every region offered comes from an entry of the list.
    if (regions.size() > list.size())
        abort();
    return 0;
}
