#pragma once

#include "form/AssetTypeTreeNode.h"
#include "widgets/BaseDialog.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

class QTreeWidget;
class QTreeWidgetItem;

// "添加资源类型": the root types with their types as a checkable tree; at most `limit`
// types may be chosen (1 for a single file, 5 for an archive).
class MyAssetTypeDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyAssetTypeDialog(QWidget* parent = nullptr);

    void setLimit(int n) { limit = n; }
    int typeLimit() const { return limit; }
    // Checks exactly the types of `types`.
    void checkTypes(const QList<AssetTypeItem>& types);
    // The checked types in tree order.
    QList<AssetTypeTreeNode> checkedNodes() const;
    // Suggests a type from the file path by the rule file's "typidroot" rules; true when one
    // was chosen (add_type has then been emitted with it).
    bool autoSelect(const QString& filePath);
    // The type roots whose "typidroot" rule in `rules` (rule.json) fits the file path, suffix
    // and keyword both, in the rules' order.
    static QStringList typeRootsFor(const QJsonObject& rules, const QString& filePath);
    QTreeWidget* tree() const { return treeWidget; }

    static constexpr int IdRole = Qt::UserRole;
    static constexpr int LevelRole = Qt::UserRole + 1;
    static constexpr int RootRole = Qt::UserRole + 2;

signals:
    void add_type(QList<AssetTypeTreeNode> nodes);

public slots:
    void confirm();

private:
    void buildTree();
    void itemChanged(QTreeWidgetItem* item);

    int limit = 1;
    QTreeWidget* treeWidget = nullptr;
    QList<QTreeWidgetItem*> items;
    QTreeWidgetItem* lastChanged = nullptr;
    bool autoExpanded = false;
};
