// Static files of the website: reference data, version files, the program download and
// the pages the client opens in the browser.

#include "DevsiteServer.h"
#include "HttpUtil.h"

using namespace devsite;

void registerStaticFiles(DevsiteServer& server)
{
    Q_UNUSED(server);
}
