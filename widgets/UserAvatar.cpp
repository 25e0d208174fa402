#include "widgets/UserAvatar.h"

#include "net/MyDAO.h"

#include <QPainter>
#include <QPointer>

UserAvatar::UserAvatar(QWidget* parent)
    : QLabel(parent)
{
}

void UserAvatar::setUrl(const QString& url)
{
    // The raw fetch has no context object: the avatar may be gone when the bytes arrive.
    QPointer<UserAvatar> self(this);
    MyDAO::instance()->httpGetRaw(url, [self](QByteArray bytes) {
        if (self)
            self->setImageData(bytes);
    });
}

bool UserAvatar::setImageData(const QByteArray& bytes)
{
    QImage loaded;
    const bool ok = !bytes.isEmpty() && loaded.loadFromData(bytes);
    if (ok) {
        picture = loaded;
        update();
    }
    emit s_loaded(ok);
    return ok;
}

void UserAvatar::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    if (picture.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), picture);
}
