#pragma once

#include <QByteArray>
#include <QString>

// What the website's version file says: the newest version (first entry of "data") and,
// when the site publishes them, the SHA-256 and the signature of that version's program
// ("sha256" and "signature" by version; the signature in Base64).
struct PublishedVersion
{
    bool readable = false; // the body is a JSON object
    QString version;
    QString sha256;
    QByteArray signature;
};

PublishedVersion readVersionFile(const QByteArray& body);
