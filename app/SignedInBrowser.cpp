#include "app/SignedInBrowser.h"

#include "net/MyDAO.h"

#include <QDesktopServices>
#include <QUrl>

// The address is built by the engine; only opening it needs the desktop.
void openSignedIn(const QString& jump_url)
{
    QDesktopServices::openUrl(QUrl(MyDAO::instance()->signedInUrl(jump_url), QUrl::StrictMode));
}

void openDownloadManager(const QString& itemid, const QString& chid)
{
    QDesktopServices::openUrl(QUrl(MyDAO::instance()->downloadManagerUrl(itemid, chid), QUrl::StrictMode));
}
