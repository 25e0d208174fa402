#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseWidget.h"

#include <QStringList>

class MyBtnformWidget;
class MyEditformWidget;
class MyProgressListWidget;
class QStackedLayout;

// The upload page: the empty-state panel, the upload list, and while a batch is being
// described, one asset form that walks through the batch file by file.
class MyAssetUpload : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyAssetUpload(QWidget* parent = nullptr);

    // True while an asset form is on the page.
    bool isEditing() const { return editing; }
    void setEditing(bool on);

    MyBtnformWidget* emptyPanel() const { return btnform; }
    MyProgressListWidget* progressList() const { return progress; }
    MyEditformWidget* editForm() const { return editform; }
    QWidget* currentWidget() const;
    QStringList waitingFiles() const { return files; }

public slots:
    // Starts a batch.
    void initEditform(QStringList files);
    // The next path of the batch.
    void initEditform();
    // A stored record.
    void initEditform(AssetFormData& data);
    void createEditForm();
    // Leaves the form and goes back to the list (or the empty panel when nothing is listed).
    void redirectToProgressList();
    void exitCurEditform();

private:
    void editNext();
    void showOrEdit(int id, bool isShow);
    void showForm();

    MyBtnformWidget* btnform = nullptr;
    MyProgressListWidget* progress = nullptr;
    MyEditformWidget* editform = nullptr;
    QStackedLayout* stack = nullptr;
    QStringList files;
    bool editing = false;
};
