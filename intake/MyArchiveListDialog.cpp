#include "intake/MyArchiveListDialog.h"

#include "intake/ElideLabel.h"
#include "intake/FileTypes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* fixedLabel(const QString& text, int width, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

MyArchiveListDialog::MyArchiveListDialog(const QList<ArchiveEntry>& entries, QWidget* parent)
    : BaseDialog(parent)
{
    const QString title = QString::fromUtf8("查看压缩包文件列表");
    setWindowTitle(title);
    setModal(true);
    resize(640, 520);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Title row, above the line the dialog base draws.
    auto* titleRow = new QWidget(this);
    titleRow->setFixedHeight(BaseDialog::kTitleLineY);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(20, 0, 20, 0);
    auto* titleLabel = new QLabel(title, titleRow);
    titleLabel->setObjectName("dialog_title");
    titleLayout->addWidget(titleLabel);
    titleLayout->addStretch();
    outer->addWidget(titleRow);

    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 20, 20, 20);
    bodyLayout->setSpacing(0);

    auto* head = new QWidget(body);
    head->setObjectName("t_head");
    head->setFixedHeight(30);
    auto* headLayout = new QHBoxLayout(head);
    headLayout->setContentsMargins(0, 0, 0, 0);
    headLayout->setSpacing(0);
    headLayout->addWidget(new QLabel(QString::fromUtf8("文件名称"), head), 1);
    headLayout->addWidget(fixedLabel(QString::fromUtf8("类型"), 50, head));
    headLayout->addWidget(fixedLabel(QString::fromUtf8("文件大小"), 100, head));
    bodyLayout->addWidget(head);

    list = new QListWidget(body);
    list->setObjectName("t_body");
    list->setMinimumHeight(280);
    const int shown = qMin(entries.size(), kMaxRows);
    for (int i = 0; i < shown; ++i) {
        const ArchiveEntry& e = entries.at(i);
        auto* row = new QWidget(list);
        row->setObjectName("t_row");
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(0);
        const QString name = QString(e.name).replace('\\', '/');
        auto* nameLabel = new QLabel(name, row);
        nameLabel->setObjectName("arch_item_title");
        nameLabel->setToolTip(name);
        rowLayout->addWidget(nameLabel, 1);
        rowLayout->addWidget(fixedLabel(e.isDir() ? QString::fromUtf8("目录") : QString::fromUtf8("文件"), 50, row));
        rowLayout->addWidget(fixedLabel(sizeText(static_cast<quint64>(qMax<qint64>(e.size, 0))), 100, row));
        auto* item = new QListWidgetItem(list);
        item->setSizeHint(QSize(28, 28));
        list->setItemWidget(item, row);
    }
    elideLabel(list, kNameWidth, "arch_item_title");
    bodyLayout->addWidget(list);

    if (entries.size() > kMaxRows) {
        auto* count = new QLabel(QString::fromUtf8("......\r\n文件数统计：%1，最多显示50条").arg(entries.size()), body);
        count->setObjectName("arch_count");
        bodyLayout->addWidget(count);
    }
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
}
