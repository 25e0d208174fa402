#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseWidget.h"

#include <QList>
#include <QPointer>
#include <QStringList>

class MyBatchHeader;
class MyGetUploadListWork;
class MyProgressItemWidget;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

// The upload list: one row per saved asset with its upload progress. Rows are restored from
// the local database when the list is built, added when a form is saved and removed when
// the asset is deleted or its submission succeeds.
class MyProgressListWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyProgressListWidget(QWidget* parent = nullptr);
    ~MyProgressListWidget() override;

    // Number of listed rows (the page shows the list only when there is one).
    int rowCount() const { return forms.size(); }
    MyProgressItemWidget* row(int index) const { return rows.value(index); }
    // The last row of this job, or null.
    MyProgressItemWidget* findRow(const QString& file_md5, int id) const;
    const QList<AssetFormData>& formList() const { return forms; }

    QListWidget* listView() const { return list; }
    QPushButton* startAllButton() const { return startAllBtn; }
    QPushButton* appendButton() const { return appendBtn; }
    QLabel* countLabel() const { return countText; }
    MyBatchHeader* batchHeader() const { return batchReading; }
    // How long a submitted row shows "上传成功" before it leaves.
    static constexpr int kSucceededHoldMs = 1500;

signals:
    void s_hasFiles();
    void s_back_2_editform(int);
    void s_back_2_editform(QStringList files);
    void s_rows_empty();

public slots:
    void renderList(QList<AssetFormData> list);
    void showFileDialog();
    // "全部开始": starts every row and locks the button for 400 ms.
    void startAll();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restore(QList<AssetFormData> list);
    void addRow(AssetFormData& form);
    void appendRow(const AssetFormData& form);
    void removeRow(QString file_md5, int id);
    void onSubmitted(QString file_md5, int id);
    // Removes the row, but never while the pointer is pressed on the list.
    void removeRowWhenFree(const QString& file_md5, int id);
    void onProgress(int file_id, QString file_md5, qulonglong loaded, QString msg, QString rate);
    void onFormUpdated(AssetFormData& form);
    void updateCount();
    // Builds the rows that are (about to be) on screen and shows those in sight.
    void placeVisibleRows();
    // Scrolls to the row that already has a file the author tried to add again and marks it.
    void pointAtRow(QString file_md5, int id);

    QPointer<MyGetUploadListWork> listWorker;
    QLabel* countText = nullptr;
    MyBatchHeader* batchReading = nullptr;
    QPushButton* appendBtn = nullptr;
    QPushButton* startAllBtn = nullptr;
    QListWidget* list = nullptr;
    QList<AssetFormData> forms;
    QList<MyProgressItemWidget*> rows;
    // Parent of every row, laid over the list's viewport.
    QWidget* rowLayer = nullptr;
    // The rows now shown in the view.
    QList<MyProgressItemWidget*> placed;
    QTimer* startAllTimer = nullptr;
};
