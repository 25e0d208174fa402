#include "ui/MyProgressListWidget.h"

#include "ui/UploadIntake.h"

MyProgressListWidget::MyProgressListWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("progress_list_widget");
}

MyProgressListWidget::~MyProgressListWidget() = default;

void MyProgressListWidget::renderList(QList<AssetFormData> list)
{
    forms = list;
    if (!forms.isEmpty())
        emit s_hasFiles();
}

void MyProgressListWidget::showFileDialog()
{
    const QStringList files = pickUploadFiles(this);
    if (!files.isEmpty())
        emit s_back_2_editform(files);
}
