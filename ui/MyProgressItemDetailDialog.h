#pragma once

#include "store/AssetRecords.h"
#include "widgets/BaseDialog.h"

class QFormLayout;

// Read-only view of one saved asset ("查看资料详情").
class MyProgressItemDetailDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyProgressItemDetailDialog(const AssetFormData& form, QWidget* parent = nullptr);

    // The value texts of the eight rows, top to bottom.
    QStringList rowTexts() const;

    // Names from the reference data; empty when the id is unknown.
    static QString stageName(int xueduanid);
    static QString subjectName(int chid);
    static QString copyrightName(int copyrighttype);
    static QString flagName(int flag);

private:
    QFormLayout* rows = nullptr;
};
