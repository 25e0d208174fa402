#pragma once

#include "ui/ListBaseTabContent.h"

class QSignalMapper;

// The recycle bin: resources that were rejected or deleted, with the reviewer's reason.
class ListHuishou : public ListBaseTabContent
{
    Q_OBJECT

public:
    explicit ListHuishou(QWidget* parent = nullptr);

    void initTable() override;
    void renderTBody() override;

protected:
    void addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel* title, const QJsonObject& row) override;

private:
    QSignalMapper* downloadMapper = nullptr;
};
