#pragma once

#include "Extraction.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class TextSink;

// The XML parts of an Office Open XML package that carry text, read from its zip container.
class OoxmlPackage
{
public:
    // Decompressed bytes read from one package at most: a zip bomb stops here.
    static constexpr qint64 kMaxPartBytes = 64 * 1024 * 1024;

    Outcome open(const QString& path);
    // One part as open() would have read it from the container (the XML readers' fuzz target
    // feeds parts this way, past the container's checksums).
    void addPart(const QString& name, const QByteArray& bytes) { parts.insert(name.toLower(), bytes); }

    // Word processing, spreadsheet or presentation, by the main part the package holds.
    Kind kind() const;
    Outcome extract(TextSink& sink) const;

private:
    QByteArray part(const QString& name) const { return parts.value(name.toLower()); }
    bool hasPart(const QString& name) const { return parts.contains(name.toLower()); }
    QStringList orderedParts(const QString& mainPart, const QString& listElement, const QString& folderPrefix) const;
    Outcome extractDocument(TextSink& sink) const;
    Outcome extractWorkbook(TextSink& sink) const;
    Outcome extractPresentation(TextSink& sink) const;

    QHash<QString, QByteArray> parts; // lower-case part name -> bytes
};
