#include "app/AppDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

QString appDir()
{
    const QString overridden = QProcessEnvironment::systemEnvironment().value("VANTREL_APPDIR");
    if (!overridden.isEmpty())
        return overridden;
    return QCoreApplication::applicationDirPath();
}

bool appDirWritable()
{
#ifdef Q_OS_UNIX
    // Asked of the kernel with the rights the updater would run with: the permission bits
    // alone miss read-only mounts, ACLs and root.
    return ::faccessat(AT_FDCWD, QFile::encodeName(appDir()).constData(), W_OK, AT_EACCESS) == 0;
#else
    return QFileInfo(appDir()).isWritable();
#endif
}
