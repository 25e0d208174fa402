#include "form/AssetTypeTreeNode.h"

void registerAssetTypeTreeNode()
{
    qRegisterMetaType<AssetTypeTreeNode>("AssetTypeTreeNode");
    qRegisterMetaType<QList<AssetTypeTreeNode>>("QList<AssetTypeTreeNode>");
}

AssetTypeItem toTypeItem(const AssetTypeTreeNode& node)
{
    AssetTypeItem item;
    item.title = node.title;
    item.typeid_ = node.typeid_.toInt();
    item.typeidroot = node.typeidroot.toInt();
    return item;
}

AssetTypeTreeNode toTypeNode(const AssetTypeItem& item)
{
    return AssetTypeTreeNode { QString::number(item.typeid_), QString::number(item.typeidroot), item.title };
}
