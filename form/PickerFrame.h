#pragma once

#include <QString>

class BaseDialog;
class QPushButton;
class QVBoxLayout;

// The frame the picker dialogs share: a title row above the line the dialog base draws,
// a body, and "确定" / "取消" right-aligned below the bottom line.
struct PickerFrame
{
    QVBoxLayout* body = nullptr;
    QPushButton* submit = nullptr;
    QPushButton* cancel = nullptr;
};

PickerFrame buildPickerFrame(BaseDialog* dialog, const QString& title);
