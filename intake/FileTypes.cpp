#include "intake/FileTypes.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

const QStringList& archiveSuffixes()
{
    static const QStringList list { "zip", "rar", "tar", "7z", "gz", "bz2" };
    return list;
}

const QStringList& textSuffixes()
{
    static const QStringList list { "doc", "docx", "ppt", "pptx", "xls", "xlsx", "pdf" };
    return list;
}

} // namespace

QMap<QString, QString> fileTypeMap()
{
    QMap<QString, QString> map;
    map.insert("audio", "wav,mp3,wma,mid");
    map.insert("doc", "doc,docx");
    map.insert("excel", "xls,xlsx");
    map.insert("kux", "kux");
    map.insert("pdf", "pdf");
    map.insert("pic", "jpg,png,gif,jpeg,bmp,tif,webp");
    map.insert("ppt", "ppt,pptx");
    map.insert("qlv", "qlv");
    map.insert("qsv", "qsv");
    map.insert("tar", "zip,rar,tar,7z,tar.gz,tar.bz2");
    map.insert("video", "mp4,rm,rmvb,mpg,mov,flv,3gp,wmv,avi,swf");
    return map;
}

QStringList allowedSuffixes()
{
    QStringList list;
    const auto map = fileTypeMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        list += it.value().split(',');
    return list;
}

QString fileCategory(const QString& fileName)
{
    const auto map = fileTypeMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QStringList exts = it.value().split(',');
        for (const QString& ext : exts) {
            if (fileName.endsWith("." + ext, Qt::CaseSensitive))
                return it.key();
        }
    }
    return "doc";
}

bool isArchiveFile(const QFileInfo& info)
{
    return archiveSuffixes().contains(info.suffix().toLower());
}

bool isArchiveName(const QString& name)
{
    const QStringList parts = name.split('.', Qt::KeepEmptyParts);
    return archiveSuffixes().contains(parts.last().toLower());
}

bool isTextFile(const QFileInfo& info)
{
    return textSuffixes().contains(info.suffix().toLower());
}

QString typeIcon(const QString& typeId)
{
    QString name = "doc";
    switch (typeId.toInt()) {
    case 3:
        name = "ppt";
        break;
    case 6:
        name = "tar";
        break;
    case 12:
        name = "video";
        break;
    default:
        break;
    }
    return "t/" + name;
}

QString sizeText(quint64 bytes)
{
    static const char* const units[] = { "B", "KB", "MB", "GB", "TB", "PB" };
    double v = static_cast<double>(bytes);
    int i = 0;
    qint64 r = 0;
    while (v >= 1024 && i < 5) {
        // Only a value that fits 32 bits gives a remainder; larger ones give none.
        r = v <= std::numeric_limits<qint32>::max() ? static_cast<qint32>(v) % 1024 : 0;
        v = v / 1024;
        ++i;
    }
    QString text = QString::number(std::floor(v), 'g', 6);
    if (r > 0)
        text += "." + QString::number(r).left(2);
    return text + units[i];
}

QString speedText(int ms, int bytes)
{
    // 64-bit on purpose: bytes * 1000 leaves 32 bits as soon as a tick moves more than 2 MB.
    qint64 rate = ms == 0 ? 0 : static_cast<qint64>(bytes) * 1000 / ms;
    if (rate < 0)
        rate = 0;
    return QString("%1/s").arg(sizeText(static_cast<quint64>(rate)));
}

QString stripHtml(const QString& text)
{
    // Entities of a blank and any tag, opening or closing.
    static const QRegularExpression rx("&nbsp;|<[^>]+>");
    QString stripped = text;
    stripped.replace(rx, QString());
    // Titles arrive HTML-escaped: the common entities are shown as the characters they stand
    // for, in one pass (so "&amp;lt;" reads "&lt;"), after the tags are gone (so an escaped tag
    // stays visible as text). Anything else is left as it came.
    static const QRegularExpression entity("&(amp|lt|gt|quot|apos|#([0-9]{1,7})|#[xX]([0-9a-fA-F]{1,6}));");
    static const QHash<QString, QChar> named {
        { "amp", '&' }, { "lt", '<' }, { "gt", '>' }, { "quot", '"' }, { "apos", '\'' }
    };
    QString out;
    int from = 0;
    for (auto it = entity.globalMatch(stripped); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        bool ok = true;
        uint code = 0;
        if (m.capturedLength(2) > 0)
            code = m.captured(2).toUInt(&ok);
        else if (m.capturedLength(3) > 0)
            code = m.captured(3).toUInt(&ok, 16);
        else
            code = named.value(m.captured(1)).unicode();
        // No control characters, surrogates or values beyond Unicode.
        if (!ok || code < 0x20 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            continue;
        out += QStringView(stripped).mid(from, m.capturedStart() - from);
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1);
        from = m.capturedEnd();
    }
    out += QStringView(stripped).mid(from);
    return out;
}

const QString& openFileFilter()
{
    static const QString filter = QString::fromUtf8(
        "所有文件(*.doc *.docx *.xls *xlsx *.pdf *.ppt *.pptx *.jpg *.png *.gif *.jpeg *.bmp *.tif *.webp *.mp4 *.rm "
        "*.rmvb *.mpg *.mov *.flv *.3gp *.ogg *.wmv *.avi *.swf *qlv *qsv *kux *.wav *.mp3 *.wma *.mid *.ogg *.zip "
        "*.rar *.tar *.7z *.tar.gz *.tar.bz2);;文档(*.doc *.docx *.xls *xlsx *.pdf);;课件(*.ppt *.pptx);;图片(*.jpg "
        "*.png *.gif *.jpeg *.bmp *.tif *.webp);;视频(*.mp4 *.rm *.rmvb *.mpg *.mov *.flv *.3gp *.ogg *.wmv *.avi "
        "*.swf);;平台视频(*.qlv *.qsv *.kux);;音频(*.wav *.mp3 *.wma *.mid *.ogg);;压缩包(*.zip *.rar *.tar *.7z "
        "*.tar.gz *.tar.bz2)");
    return filter;
}
