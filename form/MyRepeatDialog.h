#pragma once

#include "widgets/BaseDialog.h"

#include <QJsonArray>

class QListWidget;

// The resources of the site whose text resembles the document's ("疑似雷同资源"), one row
// each in the order the site gave them.
class MyRepeatDialog : public BaseDialog
{
    Q_OBJECT

public:
    explicit MyRepeatDialog(const QJsonArray& resources, QWidget* parent = nullptr);

    static constexpr int kTitleWidth = 480;
    // The site sends no rate; every row shows this one.
    static const char* const kRate;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QListWidget* list = nullptr;
};
