#include "store/AssetRecords.h"

#include <QDateTime>

QString buildFilePath(const QString& dir, const QString& name)
{
    // An empty folder still gets its "/": a bare name would be looked up wherever the program runs.
    if (dir.endsWith('/'))
        return dir + name;
    return dir + '/' + name;
}

QString saveAsName(const QString& filePath, const QString& fileMd5, qint64 createdTime, int id, int uid)
{
    // Only the file name's dot counts: a dot in a folder name is no suffix.
    const QString name = filePath.mid(filePath.lastIndexOf('/') + 1);
    const int dot = name.lastIndexOf('.');
    const QString suffix = dot < 0 ? QString() : name.mid(dot + 1);
    const QDateTime created = QDateTime::fromSecsSinceEpoch(createdTime);
    return QStringLiteral("%4/vudedudiv%1%2_%6_%5_5_tool.%3")
        .arg(created.toString(QStringLiteral("yyyyMMdd")), fileMd5, suffix,
             created.toString(QStringLiteral("yyyy/MM/dd")), QString::number(id), QString::number(uid));
}

void registerRecordMetaTypes()
{
    qRegisterMetaType<AssetFormData>("AssetFormData");
    qRegisterMetaType<QList<AssetFormData>>("QList<AssetFormData>");
    qRegisterMetaType<UploadFile>("UploadFile");
    qRegisterMetaType<RecentLogin>("RecentLogin");
}

// Also at load time, for signals queued before the database is opened.
Q_CONSTRUCTOR_FUNCTION(registerRecordMetaTypes)
