#include "app/DataPaths.h"

#include <QStandardPaths>

namespace DataPaths {

QString dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString tmpDir()
{
    QString dir = dataDir();
    return dir + (dir.endsWith('/') ? "tmp/" : "/tmp/");
}

} // namespace DataPaths
