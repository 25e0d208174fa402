#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One line of an archive listing.
struct ArchiveEntry
{
    QString date;
    QString time;
    QString name;
    QString attr; // starts with "D" for a directory
    qint64 size = 0; // uncompressed bytes; 0 when the column is no number

    bool isDir() const { return attr.startsWith('D'); }
};

// Reads the entry lines that MyDAO::readArchive delivers (at most `maxLines`). The name is
// everything after the compressed-size column, so its own blanks survive; the compressed
// column may be blank (solid archives), which is why the columns are taken by position.
QList<ArchiveEntry> parseArchiveEntries(const QString& lines, int maxLines = 1001);

Q_DECLARE_METATYPE(ArchiveEntry)
