#include "ui/MyAssetUpload.h"

#include "app/NestedWait.h"
#include "form/MyEditformWidget.h"
#include "net/MyDAO.h"
#include "ui/MyBtnformWidget.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyProgressListWidget.h"
#include "widgets/MyMsgBox.h"

#include <QStackedLayout>
#include <QVariant>

MyAssetUpload::MyAssetUpload(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("asset_upload_page");
    setProperty("KlassName", QString("MyAssetUpload"));
    stack = new QStackedLayout(this);
    btnform = new MyBtnformWidget(this);
    progress = new MyProgressListWidget(this);
    stack->addWidget(btnform);
    stack->addWidget(progress);
    stack->setCurrentWidget(btnform);

    connect(btnform, &MyBtnformWidget::s_back_2_editform, this,
            QOverload<QStringList>::of(&MyAssetUpload::initEditform));
    connect(progress, QOverload<QStringList>::of(&MyProgressListWidget::s_back_2_editform), this,
            QOverload<QStringList>::of(&MyAssetUpload::initEditform));
    connect(progress, &MyProgressListWidget::s_hasFiles, this, [this] {
        if (!editing)
            stack->setCurrentWidget(progress);
    });
    connect(progress, &MyProgressListWidget::s_rows_empty, this, [this] {
        if (!editing)
            stack->setCurrentWidget(btnform);
    });
    connect(MyDAO::instance(), &MyDAO::s_show_or_edit, this, &MyAssetUpload::showOrEdit);
}

QWidget* MyAssetUpload::currentWidget() const
{
    return stack->currentWidget();
}

void MyAssetUpload::setEditing(bool on)
{
    editing = on;
}

void MyAssetUpload::createEditForm()
{
    exitCurEditform();
    editform = new MyEditformWidget(this);
    editing = true;
    connect(editform, &MyEditformWidget::s_back_2_list, this, &MyAssetUpload::redirectToProgressList);
    connect(editform, &MyEditformWidget::s_edit_next, this, &MyAssetUpload::editNext);
}

void MyAssetUpload::showForm()
{
    if (!editform)
        return;
    if (stack->indexOf(editform) < 0)
        stack->addWidget(editform);
    stack->setCurrentWidget(editform);
}

void MyAssetUpload::initEditform(QStringList list)
{
    if (list.isEmpty())
        return;
    createEditForm();
    files = list;
    // Shown first: a refused first file moves the same form on to the next one.
    showForm();
    const QString path = files.takeFirst();
    editform->loadFile(path, files.size());
}

void MyAssetUpload::initEditform()
{
    if (!editform || files.isEmpty())
        return;
    showForm();
    const QString path = files.takeFirst();
    editform->loadFile(path, files.size());
}

void MyAssetUpload::initEditform(AssetFormData& data)
{
    createEditForm();
    files.clear();
    if (editform->loadForm(data))
        showForm();
    else
        exitCurEditform();
}

void MyAssetUpload::editNext()
{
    if (files.isEmpty()) {
        editing = false;
        redirectToProgressList();
        return;
    }
    initEditform();
}

void MyAssetUpload::exitCurEditform()
{
    if (!editform)
        return;
    stack->removeWidget(editform);
    editform->disconnect(this);
    editform->hide();
    // The form may be in the middle of one of its own slots (it announced the next file), or
    // under one of its boxes.
    NestedWait::deleteWhenIdle(editform);
    editform = nullptr;
    editing = false;
}

void MyAssetUpload::redirectToProgressList()
{
    exitCurEditform();
    files.clear();
    editing = false;
    stack->setCurrentWidget(progress->rowCount() > 0 ? static_cast<QWidget*>(progress) : btnform);
}

void MyAssetUpload::showOrEdit(int id, bool isShow)
{
    AssetFormData data;
    if (!MyDAO::instance()->loadAsset(id, data)) {
        MyMsgBox::alert("未找到该资料，可能已被删除", this);
        return;
    }
    if (isShow) {
        MyMsgBox::runDialog(new MyProgressItemDetailDialog(data, window()), this);
        return;
    }
    initEditform(data);
}
