#include "ui/MyBatchHeader.h"

#include "intake/FileTypes.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/MyRowProgressText.h"

#include <QStyle>
#include <QTimer>
#include <QVariant>

MyBatchHeader::MyBatchHeader(QWidget* parent)
    : QLabel(parent)
    , model(new UploadBatch(this))
{
    setObjectName("batch_reading");
    setTextFormat(Qt::PlainText);
    tick = new QTimer(this);
    tick->setInterval(1000);
    connect(tick, &QTimer::timeout, this, &MyBatchHeader::refresh);
    connect(model, &UploadBatch::s_changed, this, &MyBatchHeader::refresh);
    connect(model, &UploadBatch::s_finished, this, &MyBatchHeader::s_batchFinished);
    connect(model, &UploadBatch::s_rowFailed, this, [this](int id) {
        MyProgressItemWidget* row = rowsById.value(id);
        if (row)
            emit s_rowFailed(row->form().subject, row->rateText());
    });
    refresh();
}

void MyBatchHeader::watch(MyProgressItemWidget* row)
{
    rowsById.insert(row->form().id, row);
    connect(row, &MyProgressItemWidget::s_changed, this, [this, row]() { onRowChanged(row); });
}

void MyBatchHeader::onRowChanged(MyProgressItemWidget* row)
{
    UploadBatch::RowState state = UploadBatch::RowState::Active;
    if (row->look() == MyProgressItemWidget::Look::Idle)
        state = UploadBatch::RowState::Idle;
    else if (row->look() == MyProgressItemWidget::Look::Failed)
        state = UploadBatch::RowState::Failed;
    model->rowChanged(row->form().id, state, row->job().file_size_loaded, row->form().file_size,
                      MyRowProgressText::nowMs());
}

void MyBatchHeader::rowSubmitted(MyProgressItemWidget* row)
{
    model->rowSubmitted(row->form().id, MyRowProgressText::nowMs());
}

void MyBatchHeader::rowRemoved(MyProgressItemWidget* row)
{
    rowsById.remove(row->form().id);
    model->rowRemoved(row->form().id, MyRowProgressText::nowMs());
}

QString MyBatchHeader::headerText(const BatchFigures& f)
{
    if (!f.running)
        return f.submitted > 0 ? QStringLiteral("已上传成功%1份资料").arg(f.submitted) : QString();
    QString text = QStringLiteral("已完成%1/%2份  %3 / %4")
                       .arg(f.done)
                       .arg(f.files)
                       .arg(sizeText(quint64(f.loaded)), sizeText(quint64(f.total)));
    if (f.failed > 0)
        text += QStringLiteral("  %1份失败").arg(f.failed);
    const QString left = MyRowProgressText::timeLeftText(f.secondsLeft);
    if (!left.isEmpty())
        text += QStringLiteral("  ") + left;
    return text;
}

void MyBatchHeader::refresh()
{
    const BatchFigures f = model->figures(MyRowProgressText::nowMs());
    setText(headerText(f));
    setVisible(!text().isEmpty());
    if (f.running)
        tick->start();
    else
        tick->stop();
    const bool finished = !f.running;
    if (property("finished").toBool() != finished) {
        setProperty("finished", finished);
        style()->unpolish(this);
        style()->polish(this);
    }
}
