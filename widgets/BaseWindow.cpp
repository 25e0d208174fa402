#include "widgets/BaseWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

namespace {
constexpr int kShadow = 6;
constexpr int kDragBand = 66;
} // namespace

BaseWindow::BaseWindow(QWidget* parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
}

int BaseWindow::regionCode(const QPoint& pos, const QSize& size)
{
    int column = 2;
    if (pos.x() < 6)
        column = 1;
    else if (pos.x() >= size.width() - 4)
        column = 3;
    int row = 20;
    if (pos.y() < 6)
        row = 10;
    else if (pos.y() >= size.height() - 4)
        row = 30;
    return row + column;
}

QRect BaseWindow::resizedGeometry(const QRect& geometry, int region, const QPoint& delta, const QSize& minimum)
{
    int left = geometry.left();
    int top = geometry.top();
    int right = geometry.left() + geometry.width(); // one past the last column
    int bottom = geometry.top() + geometry.height();
    const int column = region % 10;
    const int row = region / 10;

    if (column == 1)
        left = qMin(left + delta.x(), qMax(left, right - minimum.width()));
    else if (column == 3)
        right = qMax(right + delta.x(), qMin(right, left + minimum.width()));
    if (row == 1)
        top = qMin(top + delta.y(), qMax(top, bottom - minimum.height()));
    else if (row == 3)
        bottom = qMax(bottom + delta.y(), qMin(bottom, top + minimum.height()));
    return QRect(left, top, right - left, bottom - top);
}

void BaseWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        moving = true;
        dragOffset = event->globalPos() - pos();
        if (!dragAnywhere() && event->pos().y() > kDragBand)
            moving = false;
        if (isMaximized()) {
            moving = false;
        } else {
            pressedRegion = regionCode(event->pos(), size());
            lastGlobalPos = event->globalPos();
            pressed = true;
        }
    }
    QDialog::mousePressEvent(event);
}

void BaseWindow::mouseReleaseEvent(QMouseEvent* event)
{
    moving = false;
    pressed = false;
    if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    QDialog::mouseReleaseEvent(event);
}

void BaseWindow::updateCursor(int region)
{
    switch (region) {
    case 11:
    case 33:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case 13:
    case 31:
        setCursor(Qt::SizeBDiagCursor);
        break;
    case 12:
    case 32:
        setCursor(Qt::SizeVerCursor);
        break;
    case 21:
    case 23:
        setCursor(Qt::SizeHorCursor);
        break;
    default:
        setCursor(Qt::ArrowCursor);
        break;
    }
}

void BaseWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (isMaximized()) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    if (event->buttons() == Qt::NoButton) {
        if (resizable)
            updateCursor(regionCode(event->pos(), size()));
    } else if ((event->buttons() & Qt::LeftButton) && pressed) {
        if (pressedRegion == 22) {
            if (moving)
                move(event->globalPos() - dragOffset);
        } else if (resizable) {
            const QRect next
                = resizedGeometry(geometry(), pressedRegion, event->globalPos() - lastGlobalPos, minimumSize());
            if (next != geometry())
                setGeometry(next);
        }
        lastGlobalPos = event->globalPos();
    }
    QDialog::mouseMoveEvent(event);
}

void BaseWindow::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    if (isMaximized()) {
        painter.fillRect(rect(), Qt::white);
    } else {
        painter.setRenderHint(QPainter::Antialiasing, true);
        const QRectF panel = QRectF(rect()).adjusted(kShadow, kShadow, -kShadow, -kShadow);
        QPainterPath path;
        path.addRoundedRect(panel, 2, 2);
        painter.fillPath(path, Qt::white);
        // A soft shadow: outlines fading outward from the panel's edge.
        painter.setBrush(Qt::NoBrush);
        for (int k = kShadow; k >= 1; --k) {
            painter.setPen(QColor(0, 0, 0, 5 * k));
            painter.drawRoundedRect(QRectF(k, k, width() - 2 * k + 1, height() - 2 * k + 1), 2, 2);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void BaseWindow::showEvent(QShowEvent* event)
{
    // Without this the window stays blank after being restored from minimised.
    setAttribute(Qt::WA_Mapped);
    QDialog::showEvent(event);
}
