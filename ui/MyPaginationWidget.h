#pragma once

#include "widgets/BaseWidget.h"

#include <QJsonObject>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;
class QSignalMapper;

// The page bar under a list: previous/next, a window of five page buttons and a "go to page"
// box. It only asks for pages (s_toPage); its own page follows the next reply's meta.
class MyPaginationWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyPaginationWidget(QWidget* parent = nullptr);

    // Takes "currentPage", "perPage", "pageCount" and "totalCount" of a list reply.
    void setMeta(const QJsonObject& meta);

    int currentPage() const { return curPage; }
    int pageCount() const { return pageTotal; }
    const QList<QPushButton*>& pageButtons() const { return buttons; }
    QLineEdit* pageEdit() const { return pageInput; }
    QLabel* countLabel() const { return pageCountLabel; }

signals:
    void s_toPage(int page);

private:
    void onClicked(QWidget* button);

    int curPage = 1;
    int perPage = 20;
    int buttonCount = 5;
    int totalCount = 0;
    int pageTotal = 0;
    QSignalMapper* mapper = nullptr;
    QList<QPushButton*> buttons;
    QLabel* pageCountLabel = nullptr;
    QLineEdit* pageInput = nullptr;
};
