#pragma once

#include "ui/ListBaseTabContent.h"

// Resources awaiting review.
class ListDaishen : public ListBaseTabContent
{
    Q_OBJECT

public:
    explicit ListDaishen(QWidget* parent = nullptr);

    void initTable() override;
    void renderTBody() override;

protected:
    void addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel* title, const QJsonObject& row) override;
};
