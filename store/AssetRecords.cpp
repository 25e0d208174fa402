#include "store/AssetRecords.h"

QString buildFilePath(const QString& dir, const QString& name)
{
    // An empty folder still gets its "/": a bare name would be looked up wherever the program runs.
    if (dir.endsWith('/'))
        return dir + name;
    return dir + '/' + name;
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
