#include "ui/MyProgressItemDetailDialog.h"

MyProgressItemDetailDialog::MyProgressItemDetailDialog(const AssetFormData& form, QWidget* parent)
    : BaseDialog(parent)
{
    setWindowTitle("查看资料详情");
    Q_UNUSED(form);
}
