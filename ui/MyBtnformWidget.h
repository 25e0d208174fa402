#pragma once

#include "widgets/BaseWidget.h"

#include <QStringList>

class QPushButton;
class QTextBrowser;

// The upload page when nothing is listed: one big button for the file dialog, a drop
// target, and a short help text.
class MyBtnformWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit MyBtnformWidget(QWidget* parent = nullptr);

    QPushButton* quickButton() const { return quickBtn; }
    QTextBrowser* helpBox() const { return beizhu; }

signals:
    void s_back_2_editform(QStringList files);

public slots:
    void showFileDialog();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPushButton* quickBtn = nullptr;
    QTextBrowser* beizhu = nullptr;
};
