#include "widgets/SharpPixmap.h"

#include <QFile>
#include <QGuiApplication>

QPixmap sharpPixmap(const QString& path)
{
    if (qApp && qApp->devicePixelRatio() > 1.0) {
        const int dot = path.lastIndexOf('.');
        const QString twice = dot < 0 ? path + "@2x" : path.left(dot) + "@2x" + path.mid(dot);
        if (QFile::exists(twice)) {
            QPixmap pixmap(twice);
            pixmap.setDevicePixelRatio(2.0);
            return pixmap;
        }
    }
    return QPixmap(path);
}
