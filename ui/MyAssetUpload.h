#pragma once

#include "widgets/BaseWidget.h"

class QLabel;

// The upload page. For now a plain page with the editing state the main window asks
// about; the upload list and the asset form take its place later.
class MyAssetUpload : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyAssetUpload(QWidget* parent = nullptr);

    // True while an asset form is on the page.
    bool isEditing() const { return editing; }
    void setEditing(bool on);

public slots:
    // Leaves the form and goes back to the list.
    void redirectToProgressList();

private:
    QLabel* label = nullptr;
    bool editing = false;
};
