#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// The updater's small helpers: one HTTPS GET, the website address and file names.
class Util : public QObject
{
    Q_OBJECT

public:
    // status: the HTTP status (0 when no complete answer arrived: no connection, refused
    // certificate, cut or malformed transfer, time-out, or an encoded body). body: the whole
    // body when status is 200, else empty. announced: the Content-Length the server gave, -1
    // when none.
    using GetCallback = std::function<void(int status, QByteArray body, qint64 announced)>;

    // One GET with the cache-busting item "v" (Unix seconds), certificate checks against
    // Qt's roots (plus the CAs of VANTREL_CA_CERTS when it names a file), TLS 1.2 or later,
    // an unencoded body, at most 10 redirects (never from HTTPS to HTTP). The callback runs
    // once, on the calling thread.
    static void requestGet(const QString& url, GetCallback callback);

    // The compiled-in website host; the local-server names are built from it.
    static QString websiteHost();
    // scheme://host[:port] of the website; VANTREL_WEBSITE_URL replaces it for development.
    static QString websiteBase();

    // "Vantrel.exe" on Windows, "Vantrel" elsewhere.
    static QString executableName(const QString& stem);

    // One second of the progress ticks and the failure countdown in milliseconds (1000;
    // VANTREL_UPDATER_SECOND_MS shortens it so that tests need not sit through the countdown).
    static int secondMs();
};
