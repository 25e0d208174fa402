#pragma once

#include "intake/ArchiveEntry.h"
#include "widgets/BaseDialog.h"

#include <QList>

class QListWidget;

// Shows the entries of an archive: name, kind and size of the first 50, and how many there are.
class MyArchiveListDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyArchiveListDialog(const QList<ArchiveEntry>& entries, QWidget* parent = nullptr);

    static constexpr int kMaxRows = 50;
    static constexpr int kNameWidth = 400;

private:
    QListWidget* list = nullptr;
};
