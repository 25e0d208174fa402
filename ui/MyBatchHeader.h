#pragma once

#include "upload/UploadBatch.h"

#include <QLabel>
#include <QMap>
#include <QPointer>

class MyProgressItemWidget;
class QTimer;

// The upload list's reading of the whole batch, beside the count: files done of all, bytes,
// time left; after the batch, how many were submitted, until the next one starts.
class MyBatchHeader : public QLabel
{
    Q_OBJECT

public:
    explicit MyBatchHeader(QWidget* parent = nullptr);

    UploadBatch* batch() const { return model; }
    // Follows the row's state and bytes from now on.
    void watch(MyProgressItemWidget* row);
    void rowSubmitted(MyProgressItemWidget* row);
    void rowRemoved(MyProgressItemWidget* row);

    static QString headerText(const BatchFigures& f);

signals:
    void s_batchFinished(int succeeded, int failed);
    void s_rowFailed(const QString& title, const QString& reason);

private:
    void onRowChanged(MyProgressItemWidget* row);
    void refresh();

    UploadBatch* model = nullptr;
    QTimer* tick = nullptr;
    QMap<int, QPointer<MyProgressItemWidget>> rowsById;
};
