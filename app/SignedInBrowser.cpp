#include "app/SignedInBrowser.h"

#include "net/MyDAO.h"
#include "widgets/OpenLink.h"

#include <QUrl>

// The address is built by the engine; only opening it needs the desktop.
void openSignedIn(const QString& jump_url)
{
    openLink(QUrl(MyDAO::instance()->signedInUrl(jump_url), QUrl::StrictMode));
}

void openDownloadManager(const QString& itemid, const QString& chid)
{
    openLink(QUrl(MyDAO::instance()->downloadManagerUrl(itemid, chid), QUrl::StrictMode));
}
