#include "app/AppDir.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

QString appDir()
{
    const QString overridden = QProcessEnvironment::systemEnvironment().value("VANTREL_APPDIR");
    if (!overridden.isEmpty())
        return overridden;
    return QCoreApplication::applicationDirPath();
}
