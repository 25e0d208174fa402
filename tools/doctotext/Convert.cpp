#include "Convert.h"

#include "OleText.h"
#include "OoxmlText.h"
#include "PdfText.h"
#include "TextSink.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

const QByteArray kOleMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

QByteArray utf16Name(const char* name)
{
    QByteArray out;
    for (const char* c = name; *c; ++c)
        out.append(*c).append('\0');
    return out.append("\0\0", 2);
}

// Directory entries of a compound file start on 128-byte boundaries with their UTF-16 name.
bool hasStream(const QByteArray& file, const char* name)
{
    const QByteArray needle = utf16Name(name);
    for (int at = file.indexOf(needle); at >= 0; at = file.indexOf(needle, at + 1)) {
        if (at % 128 == 0)
            return true;
    }
    return false;
}

} // namespace

Kind oleKind(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    Kind byName = Kind::Unknown;
    if (QStringList { "doc", "dot", "wps" }.contains(suffix))
        byName = Kind::Doc;
    else if (QStringList { "xls", "xlt", "et" }.contains(suffix))
        byName = Kind::Xls;
    else if (QStringList { "ppt", "pps", "pot", "dps" }.contains(suffix))
        byName = Kind::Ppt;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return byName;
    // Asking for no more than the file holds keeps a small file from costing a 64 MiB buffer.
    const QByteArray content = file.read(qMin(file.size(), qint64(TextSink::kMaxBytes)));
    const bool word = hasStream(content, "WordDocument");
    const bool slides = hasStream(content, "PowerPoint Document");
    const bool sheets = hasStream(content, "Workbook") || hasStream(content, "Book");
    // Documents embed one another, so the name decides when its own stream is there.
    if ((byName == Kind::Doc && word) || (byName == Kind::Ppt && slides) || (byName == Kind::Xls && sheets))
        return byName;
    if (word)
        return Kind::Doc;
    if (slides)
        return Kind::Ppt;
    if (sheets)
        return Kind::Xls;
    return byName;
}

Outcome convert(const QString& path, TextSink& sink)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return Outcome::Unreadable;
    const QByteArray head = file.read(1024);
    file.close();

    if (head.indexOf("%PDF-") >= 0)
        return extractPdfText(path, sink);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) {
        OoxmlPackage package;
        Outcome opened = package.open(path);
        if (opened != Outcome::Ok)
            return opened;
        return package.extract(sink);
    }
    if (head.startsWith(kOleMagic)) {
        const Kind kind = oleKind(path);
        return kind == Kind::Unknown ? Outcome::Unknown : extractOleText(kind, path, sink);
    }
    return Outcome::Unknown;
}
