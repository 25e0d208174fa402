#include "ui/MyProgressItemDetailDialog.h"

#include "net/MyDAO.h"
#include "widgets/PlainText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString referenceName(const char* table, int id)
{
    return MyDAO::instance()->resourceObject().value(table).toObject().value(QString::number(id)).toString();
}

} // namespace

QString MyProgressItemDetailDialog::stageName(int xueduanid)
{
    return referenceName("xd", xueduanid);
}

QString MyProgressItemDetailDialog::subjectName(int chid)
{
    return referenceName("subjects", chid);
}

QString MyProgressItemDetailDialog::copyrightName(int copyrighttype)
{
    return referenceName("copyrighttype", copyrighttype);
}

QString MyProgressItemDetailDialog::flagName(int flag)
{
    switch (flag) {
    case 6:
        return "普通";
    case 5:
        return "精品";
    case 15:
        return "特供(首发试卷)";
    default:
        return QString();
    }
}

MyProgressItemDetailDialog::MyProgressItemDetailDialog(const AssetFormData& form, QWidget* parent)
    : BaseDialog(parent)
{
    setModal(true);
    resize(560, 470);
    QVBoxLayout* outer = buildTitleFrame("查看资料详情");

    auto* body = new QWidget(this);
    body->setObjectName("form_widget");
    rows = new QFormLayout(body);
    rows->setContentsMargins(30, 20, 30, 20);
    rows->setHorizontalSpacing(10);
    rows->setVerticalSpacing(16);
    rows->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);

    QStringList typeTitles;
    for (const AssetTypeItem& t : form.types)
        typeTitles << t.title;
    const QList<QPair<QString, QString>> values {
        { "资料标题：", form.subject },
        { "资料类型：", typeTitles.join("，") },
        { "资料类别：", flagName(form.flag) },
        { "学段学科：", QString("%1/%2").arg(stageName(form.xueduanid), subjectName(form.chid)) },
        { "资料栏目：", form.catname_path },
        { "资料属性：", copyrightName(form.copyrighttype) },
        { "适用地区：", form.fitname },
        { "自评星级：", QString("%1星级").arg(form.stars) },
    };
    for (const auto& row : values) {
        auto* label = new QLabel(row.first, body);
        label->setStyleSheet("color: #666");
        QLabel* value = plainLabel(row.second, body);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        rows->addRow(label, value);
    }
    outer->addWidget(body, 1);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 10, 20, 14);
    buttons->addStretch();
    auto* close = new QPushButton("关闭", this);
    close->setObjectName("btn_bottom_cancel");
    close->setCursor(Qt::PointingHandCursor);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    outer->addLayout(buttons);
}

QStringList MyProgressItemDetailDialog::rowTexts() const
{
    QStringList texts;
    for (int i = 0; i < rows->rowCount(); ++i) {
        if (auto* value = qobject_cast<QLabel*>(rows->itemAt(i, QFormLayout::FieldRole)->widget()))
            texts << value->text();
    }
    return texts;
}
