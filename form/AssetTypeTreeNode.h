#pragma once

#include "store/AssetRecords.h"

#include <QList>
#include <QMetaType>
#include <QString>

// A resource type as the type picker hands it to the form: decimal ids and the title
// "root name/type name".
struct AssetTypeTreeNode
{
    QString typeid_;
    QString typeidroot;
    QString title;

    bool operator==(const AssetTypeTreeNode& o) const
    {
        return typeid_ == o.typeid_ && typeidroot == o.typeidroot && title == o.title;
    }
};

Q_DECLARE_METATYPE(AssetTypeTreeNode)
Q_DECLARE_METATYPE(QList<AssetTypeTreeNode>)

// Registration for queued connections and QVariant; idempotent.
void registerAssetTypeTreeNode();

// Between the picker's nodes and the record's type entries (ids that are no number read as 0).
AssetTypeItem toTypeItem(const AssetTypeTreeNode& node);
AssetTypeTreeNode toTypeNode(const AssetTypeItem& item);
