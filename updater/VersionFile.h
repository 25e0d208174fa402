#pragma once

#include <QByteArray>
#include <QString>

// What the website's version file says: the newest version (first entry of "data") and,
// when the site publishes it, the SHA-256 of that version's program ("sha256" by version).
struct PublishedVersion
{
    bool readable = false; // the body is a JSON object
    QString version;
    QString sha256;
};

PublishedVersion readVersionFile(const QByteArray& body);
