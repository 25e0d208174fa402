// The website's version file as the version window reads it: served over HTTP to the window's
// own request (so the request client judges it), then shown as up to date, new or failed. A
// window reads the file once only, so each input gets a window of its own.

#include "OffscreenApp.h"
#include "SiteAnswerer.h"
#include "update/MyVersionDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <cstddef>
#include <cstdint>

namespace {

SiteAnswerer* site = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Development mode asks the website of VANTREL_WEBSITE_URL for the version file.
    qputenv("VANTREL_ENV", "dev");
    startOffscreenApp("fuzz_version_reply");
    site = new SiteAnswerer;
    site->answerForEveryHost();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!site)
        LLVMFuzzerInitialize(nullptr, nullptr);
    site->body = QByteArray(reinterpret_cast<const char*>(data), int(size));
    MyVersionDialog dialog;
    if (!dialog.versionUrl().startsWith(QLatin1String("http://127.0.0.1:")))
        abort();
    // Returns once the reply has been handled.
    dialog.queryVersions();
    const QString latest = dialog.latest();
    dialog.versionLabel()->text();
    dialog.checkButton()->text();
    // A version read is never asked for again: a second query must not wait for the site.
    if (!latest.isEmpty())
        dialog.queryVersions();
    return 0;
}
