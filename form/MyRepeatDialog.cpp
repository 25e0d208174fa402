#include "form/MyRepeatDialog.h"

#include "intake/ElideLabel.h"
#include "widgets/PlainText.h"
#include "widgets/RowCap.h"

#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QVBoxLayout>

const char* const MyRepeatDialog::kRate = "80%";

MyRepeatDialog::MyRepeatDialog(const QJsonArray& resources, QWidget* parent)
    : BaseDialog(parent)
{
    setModal(true);
    resize(680, 520);
    QVBoxLayout* body = buildTableFrame(QString::fromUtf8("疑似雷同资源"));

    QHBoxLayout* head = addTableHead(body);
    auto* headTitle = new QLabel(QString::fromUtf8("标题"));
    headTitle->setStyleSheet("margin-left:44px;");
    head->addWidget(headTitle, 1);
    head->addWidget(columnLabel(QString::fromUtf8("重复率"), 100, nullptr));

    list = new QListWidget(body->parentWidget());
    list->setObjectName("t_body");
    list->setMinimumHeight(364);
    const QPixmap icon(":/images/ppt.png");
    const int shown = shownRowCount(resources.size());
    for (int i = 0; i < shown; ++i) {
        const QString name = resources.at(i).toObject().value("title").toString();
        QHBoxLayout* row = addTableRow(list);
        QLabel* iconLabel = columnLabel(QString(), 44, nullptr);
        iconLabel->setPixmap(icon);
        row->addWidget(iconLabel);
        QLabel* nameLabel = plainLabel(name);
        nameLabel->setObjectName("repeat_item_title");
        setPlainToolTip(nameLabel, name);
        row->addWidget(nameLabel, 1);
        row->addWidget(columnLabel(QString::fromLatin1(kRate), 100, nullptr));
    }
    body->addWidget(list);
    elideLabel(list, kTitleWidth, "repeat_item_title");
}

void MyRepeatDialog::resizeEvent(QResizeEvent* event)
{
    BaseDialog::resizeEvent(event);
    elideLabel(list, kTitleWidth, "repeat_item_title");
}
