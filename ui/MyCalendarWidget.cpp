#include "ui/MyCalendarWidget.h"

#include <QPainter>
#include <QToolButton>

namespace {

const QColor kBrand("#01945d");

} // namespace

MyCalendarWidget::MyCalendarWidget(QWidget* parent)
    : QCalendarWidget(parent)
{
    if (QWidget* bar = findChild<QWidget*>("qt_calendar_navigationbar")) {
        QPalette palette = bar->palette();
        palette.setColor(QPalette::All, QPalette::Highlight, kBrand);
        bar->setPalette(palette);
    }
    const QPair<const char*, const char*> arrows[] = { { "qt_calendar_prevmonth", ":/images/arrow_left.png" },
                                                       { "qt_calendar_nextmonth", ":/images/arrow_right.png" } };
    for (const auto& arrow : arrows) {
        if (auto* button = findChild<QToolButton*>(arrow.first)) {
            button->setIcon(QIcon(arrow.second));
            button->setStyleSheet("border:none");
        }
    }
}

void MyCalendarWidget::paintCell(QPainter* painter, const QRect& rect, const QDate& date) const
{
    QCalendarWidget::paintCell(painter, rect, date);
    if (date != selectedDate())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(kBrand);
    painter->drawRect(rect);
    painter->setPen(Qt::white);
    painter->drawText(rect, Qt::AlignCenter, QString::number(date.day()));
    painter->restore();
}
