#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseWidget.h"

#include <QList>
#include <QStringList>

// The upload list: one row per saved asset with its upload progress.
class MyProgressListWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyProgressListWidget(QWidget* parent = nullptr);
    ~MyProgressListWidget() override;

    // Number of listed rows (the page shows the list only when there is one).
    int rowCount() const { return forms.size(); }

signals:
    void s_hasFiles();
    void s_back_2_editform(int);
    void s_back_2_editform(QStringList files);
    void s_rows_empty();

public slots:
    void renderList(QList<AssetFormData> list);
    void showFileDialog();

private:
    QList<AssetFormData> forms;
};
