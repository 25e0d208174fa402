#include "intake/MyArchiveListDialog.h"

#include "intake/ElideLabel.h"
#include "intake/FileTypes.h"
#include "widgets/PlainText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

MyArchiveListDialog::MyArchiveListDialog(const QList<ArchiveEntry>& entries, QWidget* parent)
    : BaseDialog(parent)
{
    setModal(true);
    resize(640, 520);
    QVBoxLayout* bodyLayout = buildTableFrame(QString::fromUtf8("查看压缩包文件列表"));
    QWidget* body = bodyLayout->parentWidget();

    QHBoxLayout* head = addTableHead(bodyLayout);
    head->addWidget(new QLabel(QString::fromUtf8("文件名称")), 1);
    head->addWidget(columnLabel(QString::fromUtf8("类型"), 50, nullptr));
    head->addWidget(columnLabel(QString::fromUtf8("文件大小"), 100, nullptr));

    list = new QListWidget(body);
    list->setObjectName("t_body");
    list->setMinimumHeight(280);
    const int shown = qMin(entries.size(), kMaxRows);
    for (int i = 0; i < shown; ++i) {
        const ArchiveEntry& e = entries.at(i);
        QHBoxLayout* row = addTableRow(list);
        const QString name = QString(e.name).replace('\\', '/');
        // Names come from the archive: shown as they are, never as markup or links.
        QLabel* nameLabel = plainLabel(name);
        nameLabel->setObjectName("arch_item_title");
        setPlainToolTip(nameLabel, name);
        row->addWidget(nameLabel, 1);
        row->addWidget(columnLabel(e.isDir() ? QString::fromUtf8("目录") : QString::fromUtf8("文件"), 50, nullptr));
        row->addWidget(columnLabel(sizeText(static_cast<quint64>(qMax<qint64>(e.size, 0))), 100, nullptr));
    }
    elideLabel(list, kNameWidth, "arch_item_title");
    bodyLayout->addWidget(list);

    if (entries.size() > kMaxRows) {
        auto* count = new QLabel(QString::fromUtf8("......\r\n文件数统计：%1，最多显示50条").arg(entries.size()), body);
        count->setObjectName("arch_count");
        bodyLayout->addWidget(count);
    }
}
