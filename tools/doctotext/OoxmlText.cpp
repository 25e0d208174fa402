#include "OoxmlText.h"

#include "TextSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <memory>

namespace {

const QString kDocument = QStringLiteral("word/document.xml");
const QString kWorkbook = QStringLiteral("xl/workbook.xml");
const QString kSharedStrings = QStringLiteral("xl/sharedstrings.xml");
const QString kPresentation = QStringLiteral("ppt/presentation.xml");

bool isTextPart(const QString& name)
{
    auto directChild = [&name](const QString& folder) {
        return name.startsWith(folder) && name.endsWith(QLatin1String(".xml")) && name.indexOf('/', folder.size()) < 0;
    };
    return name == kDocument || name == kWorkbook || name == kSharedStrings || name == kPresentation
        || name == QLatin1String("xl/_rels/workbook.xml.rels")
        || name == QLatin1String("ppt/_rels/presentation.xml.rels") || directChild(QStringLiteral("xl/worksheets/"))
        || directChild(QStringLiteral("ppt/slides/"));
}

// Parts carry no document type declarations; one is either damage or an entity-expansion attack.
bool refuseDtd(const QXmlStreamReader& reader)
{
    return reader.tokenType() == QXmlStreamReader::DTD;
}

int trailingNumber(const QString& name)
{
    static const QRegularExpression digits(QStringLiteral("(\\d+)\\.xml$"));
    QRegularExpressionMatch match = digits.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// Paragraphs of word-processing text and of slide text share one shape: runs of <t> inside <p>.
Outcome walkParagraphs(const QByteArray& xml, TextSink& sink)
{
    QXmlStreamReader reader(xml);
    QVector<QString> open; // paragraphs can nest through text boxes
    while (!reader.atEnd() && !sink.full()) {
        reader.readNext();
        if (refuseDtd(reader))
            return Outcome::Damaged;
        if (reader.isStartElement()) {
            const QStringRef name = reader.name();
            if (name == QLatin1String("p")) {
                open.append(QString());
            } else if (name == QLatin1String("t")) {
                const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements);
                if (open.isEmpty())
                    sink.addLine(text);
                else
                    open.last() += text;
            } else if (name == QLatin1String("tab")) {
                if (!open.isEmpty())
                    open.last() += QLatin1Char('\t');
            } else if (name == QLatin1String("br") || name == QLatin1String("cr")) {
                if (!open.isEmpty()) {
                    sink.addLine(open.last());
                    open.last().clear();
                }
            } else if (name == QLatin1String("pPr") || name == QLatin1String("rPr")
                       || name == QLatin1String("Fallback")) {
                // Properties hold tab stops, not tabs; a fallback repeats its choice's text.
                reader.skipCurrentElement();
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("p") && !open.isEmpty()) {
            sink.addLine(open.takeLast());
        }
    }
    return reader.hasError() && !sink.full() ? Outcome::Damaged : Outcome::Ok;
}

QString relationshipId(const QXmlStreamAttributes& attributes)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == QLatin1String("id")
            && attribute.namespaceUri().contains(QLatin1String("relationships")))
            return attribute.value().toString();
    }
    return QString();
}

} // namespace

Outcome OoxmlPackage::open(const QString& path)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> zip(archive_read_new(), archive_read_free);
    archive_read_support_format_zip(zip.get());
    if (archive_read_open_filename(zip.get(), QFile::encodeName(path).constData(), 1 << 16) != ARCHIVE_OK)
        return Outcome::Damaged;
    qint64 total = 0;
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(zip.get(), &entry)) == ARCHIVE_OK) {
        const char* utf8 = archive_entry_pathname_utf8(entry);
        QString name = utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(entry));
        while (name.startsWith('/'))
            name.remove(0, 1);
        name = name.toLower();
        if (!isTextPart(name) || parts.contains(name))
            continue;
        if (archive_entry_is_encrypted(entry))
            return Outcome::Encrypted;
        if (archive_entry_size_is_set(entry) && total + archive_entry_size(entry) > kMaxPartBytes)
            return Outcome::TooLarge;
        QByteArray data;
        char buffer[1 << 16];
        for (;;) {
            la_ssize_t n = archive_read_data(zip.get(), buffer, sizeof buffer);
            if (n < 0)
                return Outcome::Damaged;
            if (n == 0)
                break;
            total += n;
            if (total > kMaxPartBytes)
                return Outcome::TooLarge; // the declared size may lie
            data.append(buffer, static_cast<int>(n));
        }
        parts.insert(name, data);
    }
    return r == ARCHIVE_EOF ? Outcome::Ok : Outcome::Damaged;
}

Kind OoxmlPackage::kind() const
{
    if (hasPart(kDocument))
        return Kind::Docx;
    if (hasPart(kWorkbook))
        return Kind::Xlsx;
    if (hasPart(kPresentation))
        return Kind::Pptx;
    return Kind::Unknown;
}

Outcome OoxmlPackage::extract(TextSink& sink) const
{
    switch (kind()) {
    case Kind::Docx:
        return extractDocument(sink);
    case Kind::Xlsx:
        return extractWorkbook(sink);
    case Kind::Pptx:
        return extractPresentation(sink);
    default:
        return Outcome::Unknown;
    }
}

// Sheets and slides in the order the main part lists them, through its relationships.
QStringList OoxmlPackage::orderedParts(const QString& mainPart, const QString& listElement,
                                       const QString& folderPrefix) const
{
    const QString folder = mainPart.left(mainPart.lastIndexOf('/') + 1);
    QHash<QString, QString> targets;
    QXmlStreamReader rels(part(folder + "_rels/" + QFileInfo(mainPart).fileName() + ".rels"));
    while (!rels.atEnd() && !refuseDtd(rels)) {
        if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == QLatin1String("Relationship")) {
            const QXmlStreamAttributes attributes = rels.attributes();
            QString target = attributes.value(QLatin1String("Target")).toString();
            target = target.startsWith('/') ? target.mid(1) : folder + target;
            targets.insert(attributes.value(QLatin1String("Id")).toString(), QDir::cleanPath(target).toLower());
        }
    }

    QStringList ordered;
    QXmlStreamReader main(part(mainPart));
    while (!main.atEnd() && !refuseDtd(main)) {
        if (main.readNext() == QXmlStreamReader::StartElement && main.name() == listElement) {
            const QString target = targets.value(relationshipId(main.attributes()));
            if (target.startsWith(folderPrefix) && hasPart(target) && !ordered.contains(target))
                ordered.append(target);
        }
    }
    if (!ordered.isEmpty())
        return ordered;

    // No usable list: take the slide entries in the order of their numbers.
    for (auto it = parts.constBegin(); it != parts.constEnd(); ++it) {
        if (it.key().startsWith(folderPrefix))
            ordered.append(it.key());
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const QString& a, const QString& b) { return trailingNumber(a) < trailingNumber(b); });
    return ordered;
}

Outcome OoxmlPackage::extractDocument(TextSink& sink) const
{
    return walkParagraphs(part(kDocument), sink);
}

Outcome OoxmlPackage::extractPresentation(TextSink& sink) const
{
    const QStringList slides = orderedParts(kPresentation, QStringLiteral("sldId"), QStringLiteral("ppt/slides/"));
    for (const QString& slide : slides) {
        Outcome outcome = walkParagraphs(part(slide), sink);
        if (outcome != Outcome::Ok)
            return outcome;
    }
    return Outcome::Ok;
}

Outcome OoxmlPackage::extractWorkbook(TextSink& sink) const
{
    QStringList shared;
    if (hasPart(kSharedStrings)) {
        QXmlStreamReader reader(part(kSharedStrings));
        QString current;
        while (!reader.atEnd()) {
            reader.readNext();
            if (refuseDtd(reader))
                return Outcome::Damaged;
            if (reader.isStartElement()) {
                if (reader.name() == QLatin1String("si"))
                    current.clear();
                else if (reader.name() == QLatin1String("t"))
                    current += reader.readElementText(QXmlStreamReader::SkipChildElements);
                else if (reader.name() == QLatin1String("rPh"))
                    reader.skipCurrentElement(); // phonetic reading, not cell text
            } else if (reader.isEndElement() && reader.name() == QLatin1String("si")) {
                shared.append(current);
            }
        }
        if (reader.hasError())
            return Outcome::Damaged;
    }

    const QStringList sheets = orderedParts(kWorkbook, QStringLiteral("sheet"), QStringLiteral("xl/worksheets/"));
    for (const QString& sheet : sheets) {
        QXmlStreamReader reader(part(sheet));
        QStringList cells;
        QString type, value, inlineText;
        while (!reader.atEnd() && !sink.full()) {
            reader.readNext();
            if (refuseDtd(reader))
                return Outcome::Damaged;
            if (reader.isStartElement()) {
                const QStringRef name = reader.name();
                if (name == QLatin1String("row")) {
                    cells.clear();
                } else if (name == QLatin1String("c")) {
                    type = reader.attributes().value(QLatin1String("t")).toString();
                    value.clear();
                    inlineText.clear();
                } else if (name == QLatin1String("v")) {
                    value = reader.readElementText(QXmlStreamReader::SkipChildElements);
                } else if (name == QLatin1String("t")) {
                    inlineText += reader.readElementText(QXmlStreamReader::SkipChildElements);
                } else if (name == QLatin1String("f") || name == QLatin1String("rPh")) {
                    reader.skipCurrentElement();
                }
            } else if (reader.isEndElement()) {
                if (reader.name() == QLatin1String("c")) {
                    QString text = value;
                    if (type == QLatin1String("s")) {
                        bool ok = false;
                        const int index = value.toInt(&ok);
                        text = ok && index >= 0 && index < shared.size() ? shared.at(index) : QString();
                    } else if (type == QLatin1String("inlineStr")) {
                        text = inlineText;
                    } else if (type == QLatin1String("b")) {
                        text = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                    }
                    if (!text.isEmpty())
                        cells.append(text);
                } else if (reader.name() == QLatin1String("row")) {
                    sink.addLine(cells.join(QLatin1Char('\t')));
                }
            }
        }
        if (reader.hasError() && !sink.full())
            return Outcome::Damaged;
    }
    return Outcome::Ok;
}
