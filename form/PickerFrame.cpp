#include "form/PickerFrame.h"

#include "widgets/BaseDialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

PickerFrame buildPickerFrame(BaseDialog* dialog, const QString& title)
{
    dialog->setModal(true);
    QVBoxLayout* outer = dialog->buildTitleFrame(title);

    PickerFrame frame;
    frame.body = new QVBoxLayout;
    frame.body->setContentsMargins(20, 10, 20, 10);
    outer->addLayout(frame.body, 1);

    auto* buttonRow = new QWidget(dialog);
    buttonRow->setFixedHeight(BaseDialog::kButtonLineOffset);
    auto* buttons = new QHBoxLayout(buttonRow);
    buttons->setContentsMargins(0, 0, 20, 10);
    buttons->addStretch();
    frame.submit = new QPushButton("确定", buttonRow);
    frame.submit->setObjectName("btn_bottom_submit");
    frame.cancel = new QPushButton("取消", buttonRow);
    frame.cancel->setObjectName("btn_bottom_cancel");
    for (QPushButton* b : { frame.submit, frame.cancel }) {
        b->setCursor(Qt::PointingHandCursor);
        buttons->addWidget(b, 0, Qt::AlignBottom);
    }
    // Enter anywhere in the picker confirms; Escape closes it (the dialog's own keys).
    frame.submit->setDefault(true);
    outer->addWidget(buttonRow);
    QObject::connect(frame.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return frame;
}
