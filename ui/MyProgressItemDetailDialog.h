#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseDialog.h"

// Read-only view of one saved asset ("查看资料详情").
class MyProgressItemDetailDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyProgressItemDetailDialog(const AssetFormData& form, QWidget* parent = nullptr);
};
