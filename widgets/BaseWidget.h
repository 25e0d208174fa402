#pragma once

#include <QWidget>

// A plain widget whose style-sheet background and border are painted (QWidget subclasses
// otherwise ignore them).
class BaseWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BaseWidget(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
