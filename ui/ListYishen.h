#pragma once

#include "ui/ListBaseTabContent.h"

class QPushButton;
class QSignalMapper;

// Reviewed resources: stars, downloads, the public page, the detail view and the download page.
class ListYishen : public ListBaseTabContent
{
    Q_OBJECT

public:
    explicit ListYishen(QWidget* parent = nullptr);

    void initTable() override;
    void renderTBody() override;

    // Address of a resource's public page on the website.
    static QString pageUrl(const QJsonObject& row);
    // A mapper whose texts "itemid<>chid" open the download page, signed in.
    static QSignalMapper* downloadMapperFor(QObject* owner);
    static QPushButton* downloadButton(const QJsonObject& row, int width, QSignalMapper* mapper, QWidget* parent);

signals:
    void view_asset(QJsonObject detail);

protected:
    bool replyAccepted(const QJsonObject& reply) const override;
    void addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel* title, const QJsonObject& row) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void viewDetail(const QString& itemid);

    QSignalMapper* downloadMapper = nullptr;
    // Only the latest "查看详情" opens its detail.
    LatestRequest detailRequests;
};
