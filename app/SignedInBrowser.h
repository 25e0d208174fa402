#pragma once

#include <QString>

// Opens the website in the system's browser, signed in with the current session.
void openSignedIn(const QString& jump_url = QString());
void openDownloadManager(const QString& itemid, const QString& chid);
