#pragma once

#include "net/LatestRequest.h"
#include "widgets/BaseWidget.h"

#include <QJsonArray>
#include <QList>
#include <QString>

class MyDAO;
class MyPaginationWidget;
class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QTabBar;

// Commission records of one kind (0 ordinary, 1 premium resources) for a date span and a
// commission type, page by page, with the points of the page summed up.
class MyTichengBody : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyTichengBody(int kind, QWidget* parent = nullptr);

    // The commission-type combo ("全部" first); its items are requested from the site.
    QComboBox* initComboBox();
    // Requests the current page with the current filters.
    void renderTableBody();
    void renderRows(const QJsonArray& records);

    // "本页统计：…" for a page's points, summed as the site's own client does (32-bit float).
    static QString pageTotalText(const QJsonArray& records, int kind);

    int kind() const { return kindValue; }
    QString startDate() const { return startTime; }
    QString endDate() const { return endTime; }
    int page() const { return pageNo; }
    QString gainsType() const { return gainsTypeValue; }
    QComboBox* typeCombo() const { return combo; }
    QTabBar* spanTabs() const { return dateSpan; }
    QDateEdit* startEdit() const { return startDateEdit; }
    QDateEdit* endEdit() const { return endDateEdit; }
    QLabel* countLabel() const { return pageCount; }
    QLabel* emptyLabel() const { return emptyText; }
    QListWidget* rowList() const { return tBody; }
    MyPaginationWidget* pagination() const { return pager; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* initTable();
    void onSpanChosen(int index);

    int kindValue = 0;
    QList<int> columnWidths { 0, 80, 80, 80, 80, 80 };
    MyDAO* dao = nullptr;
    // Only the reply to the latest records request is shown.
    LatestRequest recordRequests;
    QString startTime;
    QString endTime;
    int pageNo = 1;
    QString gainsTypeValue;
    MyPaginationWidget* pager = nullptr;
    QLabel* pageCount = nullptr;
    QLabel* emptyText = nullptr;
    QListWidget* tBody = nullptr;
    QComboBox* combo = nullptr;
    QTabBar* dateSpan = nullptr;
    QDateEdit* startDateEdit = nullptr;
    QDateEdit* endDateEdit = nullptr;
};
