#include "ui/MyAssetUpload.h"

#include <QLabel>
#include <QVariant>
#include <QVBoxLayout>

MyAssetUpload::MyAssetUpload(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("asset_upload_page");
    setProperty("KlassName", QString("MyAssetUpload"));
    auto* layout = new QVBoxLayout(this);
    label = new QLabel("资料上传", this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet("font-size: 16px; color: #999;");
    layout->addWidget(label);
}

void MyAssetUpload::setEditing(bool on)
{
    editing = on;
}

void MyAssetUpload::redirectToProgressList()
{
    editing = false;
}
