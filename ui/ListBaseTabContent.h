#pragma once

#include "net/LatestRequest.h"
#include "widgets/BaseWidget.h"
#include "widgets/RowCap.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <utility>

class MyPaginationWidget;
class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class XdChidItemWidgets;

// One tab of the author's resources on the site: filter, title search, the rows of one page,
// the total and the page bar. Subclasses say which resources (the "flag" sent), how a reply is
// judged and which columns follow the title.
class ListBaseTabContent : public BaseWidget
{
    Q_OBJECT

public:
    explicit ListBaseTabContent(QWidget* parent = nullptr);

    // Builds the table in the table area, then loads the current page.
    virtual void initTable() { }
    // Requests the current page; the reply is rendered when it arrives.
    virtual void renderTBody() { }

    // Total and page bar from the reply's "_meta".
    void renderMeta(const QJsonObject& reply);
    // Replaces the rows with one row widget per object of `rows`.
    void initTBody(const QJsonArray& rows);

    // Most rows one page builds (see widgets/RowCap.h).
    static constexpr int kMaxRows = kMaxReplyRows;

    // Routes replies addressed to `self` (as request context) to their callbacks.
    static void takeRepliesFor(QObject* self);

    // Reading a JSON value the way the site's rows are read: text, or 0 as a number.
    static int rowInt(const QJsonObject& row, const char* key);
    static QString rowTime(const QJsonObject& row, const char* key);
    static QLabel* centredLabel(const QString& text, int width, QWidget* parent);
    // A row or header strip whose style-sheet background and border are painted.
    static QWidget* tableStrip(const QString& objectName, QWidget* parent = nullptr);
    // Fills `table` top to bottom with `header`, the text shown when there are no rows
    // (hidden, `emptyHeight` px high) and the list of rows ("t_body"); returns the last two.
    static std::pair<QLabel*, QListWidget*> stackTable(QWidget* table, QWidget* header, const QString& emptyText,
                                                       int emptyHeight);
    // The envelope the request client makes itself when there was no usable answer.
    static bool isClientFailure(const QJsonObject& reply);
    // Look of the resource and commission pages: tabs, tables, page bar.
    static QString pageStyleSheet();

    QLineEdit* searchBox() const { return searchEdit; }
    QPushButton* searchButton() const { return searchBtn; }
    XdChidItemWidgets* filter() const { return filterWidgets; }
    QLabel* totalLabel() const { return totalText; }
    QLabel* emptyLabel() const { return emptyText; }
    QListWidget* rowList() const { return tBody; }
    MyPaginationWidget* pagination() const { return pager; }
    QWidget* tableArea() const { return table; }
    QString searchText() const { return searchCenter; }
    int searchType() const { return searchKind; }
    int page() const { return pageNo; }

protected:
    // Header columns after the title (text, fixed width), the empty text, and the width kept
    // free beside the titles when they are elided.
    void buildTable(const QList<QPair<QString, int>>& headerColumns, const QString& emptyTextValue, int titleMargin);
    // Sends the list request for the resources of `flag`.
    void requestPage(const QString& flag);
    // Whether a list reply is one to render; otherwise the page stays as it was.
    virtual bool replyAccepted(const QJsonObject& reply) const;
    // Adds the columns after the title to a row (`title` is the row's title label).
    virtual void addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel* title, const QJsonObject& row) = 0;

    void resizeEvent(QResizeEvent* event) override;

private:
    void elideTitles();
    void onFilterChanged();
    void onSearch();
    // Shows in the search box whether its words still filter the list.
    void markSearchApplied(bool applied);

    // Only the reply to the latest list request is shown.
    LatestRequest listRequests;
    QString searchCenter;
    int searchKind = 0;
    int stage = 0;
    int subject = 0;
    int pageNo = 1;
    QLineEdit* searchEdit = nullptr;
    QPushButton* searchBtn = nullptr;
    XdChidItemWidgets* filterWidgets = nullptr;
    QLabel* totalText = nullptr;
    QWidget* table = nullptr;
    MyPaginationWidget* pager = nullptr;
    QLabel* emptyText = nullptr;
    QListWidget* tBody = nullptr;
    int elideMargin = 0;
    bool filterQueued = false;
};
