#include "intake/AcceptedTypes.h"

#include "intake/FileTypes.h"

#include <QStringList>

namespace {

// Category key -> what the author calls it; keys with one name are told together.
const QPair<const char*, const char*> kNames[] = {
    { "doc", "Word 文档" }, { "excel", "Excel 表格" }, { "ppt", "PPT 课件" }, { "pdf", "PDF" },
    { "pic", "图片" },      { "audio", "音频" },       { "video", "视频" },   { "qlv", "平台视频" },
    { "qsv", "平台视频" },  { "kux", "平台视频" },     { "tar", "压缩包" },
};

} // namespace

QString acceptedTypesText()
{
    const QMap<QString, QString> table = fileTypeMap();
    QStringList order;
    QMap<QString, QStringList> byName;
    auto add = [&](const QString& name, const QString& key) {
        // A file is judged by its last suffix, so "tar.gz" can never be taken.
        for (const QString& ext : table.value(key).split(',', Qt::SkipEmptyParts)) {
            if (ext.contains('.'))
                continue;
            if (!order.contains(name))
                order << name;
            byName[name] << ext;
        }
    };
    QStringList named;
    for (const auto& n : kNames) {
        named << n.first;
        add(QString::fromUtf8(n.second), n.first);
    }
    // A category added to the table later is still told, under its key.
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (!named.contains(it.key()))
            add(it.key(), it.key());
    }
    QStringList parts;
    for (const QString& name : qAsConst(order))
        parts << QStringLiteral("%1（%2）").arg(name, byName.value(name).join(QStringLiteral("、")));
    return parts.join(QStringLiteral("、"));
}
