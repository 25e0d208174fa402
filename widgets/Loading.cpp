#include "widgets/Loading.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

Loading* Loading::instance()
{
    static Loading* one = new Loading;
    return one;
}

Loading::Loading(QWidget* parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    picture = new QLabel(this);
    layout->addWidget(picture);
    timer = new QTimer(this);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &Loading::advance);
    showFrame();
}

QString Loading::framePath(int frame)
{
    return QString(":/images/loading/%1.png").arg(frame);
}

void Loading::showFrame()
{
    const QPixmap pixmap(framePath(frameNumber));
    picture->setPixmap(pixmap);
    if (!pixmap.isNull())
        setFixedSize(pixmap.size());
}

void Loading::advance()
{
    frameNumber = frameNumber >= 8 ? 1 : frameNumber + 1;
    showFrame();
}

void Loading::display(bool on)
{
    if (on) {
        show();
        raise();
        timer->start();
    } else {
        timer->stop();
        frameNumber = 1;
        showFrame();
        hide();
    }
}
