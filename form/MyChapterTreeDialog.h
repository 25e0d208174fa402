#pragma once

#include "net/LatestRequest.h"
#include "widgets/BaseDialog.h"

#include <QJsonObject>
#include <QString>

class QLabel;
class QStackedLayout;
class QTreeWidget;
class QTreeWidgetItem;

// "选择栏目": the chapter tree of one stage and subject, fetched once per run and cached.
class MyChapterTreeDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyChapterTreeDialog(QWidget* parent = nullptr);

    void initTree(int stage, int subject, QString catpath);
    // True when the tree of this stage and subject has been built (a failed load does not
    // count, so opening the dialog again retries).
    bool holdsTree(int stage, int subject) const;
    bool isLoading() const { return loading; }

    // Results for the selected item (empty / 0 when nothing is selected).
    int selectedCatid() const;
    QString selectedNamePath() const;
    QString selectedCatpath() const;
    int selectedBookVersionId() const;
    QString selectedVersionName() const;

    QTreeWidget* tree() const { return treeWidget; }
    // Number of chapter requests sent in this run (the cache answers the others).
    static int requestCount();
    static void clearCacheForTesting();

    enum Role {
        CatidRole = Qt::UserRole,
        UpidRole,
        OrderRole,
        ChildRole,
        VersionRole,
        PositionRole,
    };

public slots:
    void confirm();

private:
    void handleReply(const QJsonObject& reply, const QString& key, LatestRequest::Ticket ticket);
    QTreeWidgetItem* topAncestor(QTreeWidgetItem* item) const;

    int stage = 0;
    int subject = 0;
    bool loading = false;
    bool built = false;
    // Only the tree asked for last is built.
    LatestRequest trees;
    QTreeWidget* treeWidget = nullptr;
    QStackedLayout* pages = nullptr;
    QLabel* loadingLabel = nullptr;
    QLabel* failedLabel = nullptr;
};
