// The website's JSON API under "/toolupload/".

#include "DevsiteServer.h"
#include "HttpUtil.h"

using namespace devsite;

void registerSiteApi(DevsiteServer& server)
{
    Q_UNUSED(server);
}
