#include "net/MyDAO.h"

#include <QDesktopServices>
#include <QUrl>

// The address is built by the engine; only opening it needs the desktop.
void MyDAO::openSignedIn(const QString& jump_url)
{
    QDesktopServices::openUrl(QUrl(signedInUrl(jump_url), QUrl::StrictMode));
}

void MyDAO::openDownloadManager(const QString& itemid, const QString& chid)
{
    QDesktopServices::openUrl(QUrl(downloadManagerUrl(itemid, chid), QUrl::StrictMode));
}
