#pragma once

#include <QCalendarWidget>

// The date pop-up of the commission page: brand-coloured navigation and selected day.
class MyCalendarWidget : public QCalendarWidget
{
    Q_OBJECT

public:
    explicit MyCalendarWidget(QWidget* parent = nullptr);

protected:
    void paintCell(QPainter* painter, const QRect& rect, const QDate& date) const override;
};
