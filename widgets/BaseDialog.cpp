#include "widgets/BaseDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

BaseDialog::BaseDialog(QWidget* parent)
    : BaseWindow(parent)
{
}

void BaseDialog::paintEvent(QPaintEvent* event)
{
    BaseWindow::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor("#dcdcdc"));
    painter.drawLine(6, kTitleLineY, width() - 6, kTitleLineY);
    const int bottomY = height() - kButtonLineOffset;
    painter.drawLine(6, bottomY, width() - 6, bottomY);
}

QVBoxLayout* BaseDialog::buildTitleFrame(const QString& title)
{
    setWindowTitle(title);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* titleRow = new QWidget(this);
    titleRow->setFixedHeight(kTitleLineY);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(20, 0, 20, 0);
    auto* titleLabel = new QLabel(title, titleRow);
    titleLabel->setObjectName("dialog_title");
    titleLayout->addWidget(titleLabel);
    titleLayout->addStretch();
    outer->addWidget(titleRow);
    return outer;
}

QVBoxLayout* BaseDialog::buildTableFrame(const QString& title)
{
    QVBoxLayout* outer = buildTitleFrame(title);

    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 20, 20, 20);
    bodyLayout->setSpacing(0);
    outer->addWidget(body, 1);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(0, 0, 20, 10);
    buttons->addStretch();
    auto* close = new QPushButton(QString::fromUtf8("关闭 "), this);
    close->setObjectName("bottom_close_btn");
    close->setCursor(Qt::PointingHandCursor);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    outer->addLayout(buttons);
    return bodyLayout;
}

QLabel* BaseDialog::columnLabel(const QString& text, int width, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QHBoxLayout* BaseDialog::addTableHead(QVBoxLayout* body)
{
    auto* head = new QWidget(body->parentWidget());
    head->setObjectName("t_head");
    head->setFixedHeight(30);
    auto* layout = new QHBoxLayout(head);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    body->addWidget(head);
    return layout;
}

QHBoxLayout* BaseDialog::addTableRow(QListWidget* list)
{
    auto* row = new QWidget(list);
    row->setObjectName("t_row");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* item = new QListWidgetItem(list);
    item->setSizeHint(QSize(28, 28));
    list->setItemWidget(item, row);
    return layout;
}
