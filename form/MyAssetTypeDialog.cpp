#include "form/MyAssetTypeDialog.h"

#include "form/PickerFrame.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"

#include <QHeaderView>
#include <QJsonArray>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

MyAssetTypeDialog::MyAssetTypeDialog(QWidget* parent)
    : BaseDialog(parent)
{
    registerAssetTypeTreeNode();
    resize(420, 560);
    PickerFrame frame = buildPickerFrame(this, "添加资源类型");
    treeWidget = new QTreeWidget(this);
    treeWidget->setColumnCount(1);
    treeWidget->setHeaderHidden(true);
    frame.body->addWidget(treeWidget);
    connect(frame.submit, &QPushButton::clicked, this, &MyAssetTypeDialog::confirm);
    buildTree();
    connect(treeWidget, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { itemChanged(item); });
}

void MyAssetTypeDialog::buildTree()
{
    QSignalBlocker block(treeWidget);
    treeWidget->clear();
    items.clear();
    const QJsonObject resource = MyDAO::instance()->resourceObject();
    const QJsonObject typeMap = resource.value("typeid").toObject();
    for (const QJsonValue& v : resource.value("typeidroot").toArray()) {
        const QJsonObject r = v.toObject();
        const QString rootId = r.value("id").toVariant().toString();
        auto* root = new QTreeWidgetItem(treeWidget, QStringList { r.value("name").toString() });
        root->setData(0, IdRole, rootId);
        root->setData(0, LevelRole, 0);
        root->setData(0, RootRole, QString("0"));
        root->setSizeHint(0, QSize(40, 30));
        root->setFlags(Qt::ItemIsEnabled);
        items.append(root);
        const QJsonObject inner = typeMap.value(rootId).toObject();
        for (auto it = inner.begin(); it != inner.end(); ++it) {
            auto* type = new QTreeWidgetItem(root, QStringList { it.value().toString() });
            type->setData(0, IdRole, it.key());
            type->setData(0, LevelRole, 1);
            type->setData(0, RootRole, rootId);
            type->setSizeHint(0, QSize(40, 30));
            type->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
            type->setCheckState(0, Qt::Unchecked);
            items.append(type);
        }
    }
}

void MyAssetTypeDialog::itemChanged(QTreeWidgetItem* item)
{
    if (item->data(0, LevelRole).toInt() != 1)
        return;
    int checked = 0;
    for (QTreeWidgetItem* i : qAsConst(items)) {
        if (i->data(0, LevelRole).toInt() == 1 && i->checkState(0) == Qt::Checked)
            ++checked;
    }
    if (checked > limit && item->checkState(0) == Qt::Checked && lastChanged && lastChanged != item) {
        // Re-enters this slot for the unchecked item; the line below makes `item` the
        // remembered one again.
        lastChanged->setCheckState(0, Qt::Unchecked);
    }
    lastChanged = item;
}

void MyAssetTypeDialog::checkTypes(const QList<AssetTypeItem>& types)
{
    QSignalBlocker block(treeWidget);
    lastChanged = nullptr;
    for (QTreeWidgetItem* i : qAsConst(items)) {
        if (i->data(0, LevelRole).toInt() != 1)
            continue;
        int at = -1;
        for (int t = 0; t < types.size() && at < 0; ++t)
            at = i->data(0, IdRole).toString() == QString::number(types.at(t).typeid_) ? t : -1;
        i->setCheckState(0, at >= 0 ? Qt::Checked : Qt::Unchecked);
        // The type chosen last counts as the last change: the next check over the limit
        // replaces it, as it would have replaced it when it was chosen.
        if (at >= 0 && at == types.size() - 1)
            lastChanged = i;
    }
}

QList<AssetTypeTreeNode> MyAssetTypeDialog::checkedNodes() const
{
    QList<AssetTypeTreeNode> nodes;
    for (QTreeWidgetItem* i : items) {
        if (i->data(0, LevelRole).toInt() != 1 || i->checkState(0) != Qt::Checked)
            continue;
        nodes.append(AssetTypeTreeNode { i->data(0, IdRole).toString(), i->data(0, RootRole).toString(),
                                         i->parent()->text(0) + "/" + i->text(0) });
    }
    return nodes;
}

void MyAssetTypeDialog::confirm()
{
    const QList<AssetTypeTreeNode> nodes = checkedNodes();
    if (nodes.isEmpty()) {
        MyMsgBox::alert("请勾选资料类型", this);
        return;
    }
    if (nodes.size() <= limit) {
        emit add_type(nodes);
        accept();
        return;
    }
    MyMsgBox::alert(limit == 1 ? QString("一份资料只允许选择一种资料类型") : QString("最多可以选择%1个类型").arg(limit),
                    this);
}

QStringList MyAssetTypeDialog::typeRootsFor(const QJsonObject& rules, const QString& filePath)
{
    QStringList roots;
    for (const QJsonValue& v : rules.value("typidroot").toArray()) {
        const QJsonObject rule = v.toObject();
        bool suffix = false, keyword = false;
        for (const QJsonValue& s : rule.value("filetype").toArray())
            suffix = suffix || filePath.endsWith(s.toString());
        for (const QJsonValue& k : rule.value("keywords").toArray())
            keyword = keyword || (!k.toString().isEmpty() && filePath.contains(k.toString()));
        if (suffix && keyword)
            roots.append(rule.value("id").toVariant().toString());
    }
    return roots;
}

bool MyAssetTypeDialog::autoSelect(const QString& filePath)
{
    if (filePath.isEmpty())
        return false;
    for (const QString& rootId : typeRootsFor(MyDAO::instance()->ruleObject(), filePath)) {
        for (QTreeWidgetItem* root : qAsConst(items)) {
            if (root->data(0, LevelRole).toInt() != 0 || root->data(0, IdRole).toString() != rootId)
                continue;
            for (int c = 0; c < root->childCount(); ++c) {
                QTreeWidgetItem* type = root->child(c);
                bool hit = false;
                for (const QString& piece : type->text(0).split('/', Qt::SkipEmptyParts))
                    hit = hit || filePath.contains(piece);
                if (!hit)
                    continue;
                if (!autoExpanded) {
                    root->setExpanded(true);
                    autoExpanded = true;
                }
                checkTypes({});
                type->setCheckState(0, Qt::Checked);
                emit add_type(checkedNodes());
                return true;
            }
        }
    }
    return false;
}
