#include "ui/MyProgressListWidget.h"

#include "app/NestedWait.h"
#include "net/MyDAO.h"
#include "ui/MyBatchHeader.h"
#include "ui/MyProgressItemWidget.h"
#include "ui/UploadIntake.h"
#include "upload/MyGetUploadListWork.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kRowHeight = 58;
// Rows built beyond the visible ones, so that a scroll step finds them ready.
constexpr int kBuildAhead = 3;

} // namespace

MyProgressListWidget::MyProgressListWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("progress_list_widget");
    setAcceptDrops(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QWidget(this);
    bar->setObjectName("count_widget");
    bar->setFixedHeight(50);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(30, 0, 26, 0);
    countText = new QLabel(bar);
    countText->setObjectName("progress_count");
    barLayout->addWidget(countText);
    barLayout->addSpacing(20);
    batchReading = new MyBatchHeader(bar);
    barLayout->addWidget(batchReading);
    barLayout->addStretch();
    auto* dragHint = new QLabel("支持拖拽添加资料", bar);
    dragHint->setObjectName("dragupload_progress");
    barLayout->addWidget(dragHint);
    appendBtn = new QPushButton("+ 继续添加", bar);
    appendBtn->setObjectName("btn_append");
    appendBtn->setFixedSize(80, 24);
    appendBtn->setCursor(Qt::PointingHandCursor);
    barLayout->addWidget(appendBtn);
    startAllBtn = new QPushButton("全部开始", bar);
    startAllBtn->setObjectName("btn_start_all");
    startAllBtn->setFixedSize(80, 24);
    startAllBtn->setCursor(Qt::PointingHandCursor);
    barLayout->addWidget(startAllBtn);
    layout->addWidget(bar);

    list = new QListWidget(this);
    list->setObjectName("progress_list");
    list->setMinimumHeight(522);
    list->setUniformItemSizes(true);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->viewport()->installEventFilter(this);
    rowLayer = new QWidget(list->viewport());
    layout->addWidget(list);
    layout->addStretch();
    updateCount();

    connect(appendBtn, &QPushButton::clicked, this, &MyProgressListWidget::showFileDialog);
    connect(startAllBtn, &QPushButton::clicked, this, &MyProgressListWidget::startAll);
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, &MyProgressListWidget::placeVisibleRows);

    MyDAO* dao = MyDAO::instance();
    connect(dao, &MyDAO::s_uplist_fromdb, this, &MyProgressListWidget::restore);
    connect(dao, &MyDAO::s_submit_fileform_ok, this, &MyProgressListWidget::addRow);
    connect(dao, &MyDAO::s_delete_item, this, &MyProgressListWidget::removeRow);
    connect(dao, &MyDAO::s_completed_submit, this, &MyProgressListWidget::onSubmitted);
    connect(dao, &MyDAO::s_progress_upload, this, &MyProgressListWidget::onProgress);
    connect(dao, &MyDAO::frm_update_progress_item, this, &MyProgressListWidget::onFormUpdated);
    connect(dao, &MyDAO::s_listed_duplicate, this, &MyProgressListWidget::pointAtRow);

    listWorker = new MyGetUploadListWork(this);
    listWorker->start();
}

MyProgressListWidget::~MyProgressListWidget()
{
    disconnect(MyDAO::instance(), nullptr, this, nullptr);
    if (listWorker) {
        listWorker->quit();
        listWorker->wait();
        delete listWorker;
    }
}

MyProgressItemWidget* MyProgressListWidget::findRow(const QString& file_md5, int id) const
{
    for (int i = rows.size() - 1; i >= 0; --i) {
        if (rows.at(i)->matches(file_md5, id))
            return rows.at(i);
    }
    return nullptr;
}

void MyProgressListWidget::renderList(QList<AssetFormData> list)
{
    // A record saved while the restore was on its way is listed already.
    for (const AssetFormData& form : qAsConst(list)) {
        bool listed = false;
        for (const AssetFormData& have : qAsConst(forms))
            listed = listed || have.id == form.id;
        if (listed)
            continue;
        forms.append(form);
        appendRow(form);
    }
    updateCount();
    placeVisibleRows();
}

void MyProgressListWidget::restore(QList<AssetFormData> list)
{
    renderList(list);
    if (!list.isEmpty())
        emit s_hasFiles();
}

void MyProgressListWidget::addRow(AssetFormData& form)
{
    for (const AssetFormData& have : qAsConst(forms)) {
        if (have.id == form.id)
            return;
    }
    appendRow(form);
    forms.append(form);
    updateCount();
    placeVisibleRows();
}

void MyProgressListWidget::appendRow(const AssetFormData& form)
{
    auto* item = new QListWidgetItem(list);
    item->setSizeHint(QSize(40, kRowHeight));
    // Hidden until it scrolls into sight (placeVisibleRows()).
    auto* row = new MyProgressItemWidget(form, rowLayer);
    row->hide();
    rows.append(row);
    batchReading->watch(row);
}

void MyProgressListWidget::removeRow(QString file_md5, int id)
{
    int index = -1;
    for (int i = rows.size() - 1; i >= 0 && index < 0; --i) {
        if (rows.at(i)->matches(file_md5, id))
            index = i;
    }
    if (index < 0)
        return;
    MyProgressItemWidget* row = rows.takeAt(index);
    batchReading->rowRemoved(row);
    forms.removeAt(index);
    placed.removeAll(row);
    // The row may be the one asking (its delete box may be open): free it once its work is done
    // and every box has closed, and from now on it must not react to anything.
    disconnect(MyDAO::instance(), nullptr, row, nullptr);
    row->hide();
    NestedWait::deleteWhenIdle(row);
    delete list->takeItem(index);
    updateCount();
    placeVisibleRows();
    if (forms.isEmpty())
        emit s_rows_empty();
}

void MyProgressListWidget::onSubmitted(QString file_md5, int id)
{
    MyProgressItemWidget* row = findRow(file_md5, id);
    if (!row)
        return;
    row->markSucceeded();
    batchReading->rowSubmitted(row);
    QTimer::singleShot(kSucceededHoldMs, this, [this, file_md5, id]() { removeRowWhenFree(file_md5, id); });
}

void MyProgressListWidget::removeRowWhenFree(const QString& file_md5, int id)
{
    // Rows below would move up under a pressed pointer and the release would hit another
    // row's button: wait for the release.
    if (QApplication::mouseButtons() != Qt::NoButton && list->rect().contains(list->mapFromGlobal(QCursor::pos()))) {
        QTimer::singleShot(100, this, [this, file_md5, id]() { removeRowWhenFree(file_md5, id); });
        return;
    }
    removeRow(file_md5, id);
}

void MyProgressListWidget::onProgress(int file_id, QString file_md5, qulonglong loaded, QString msg, QString rate)
{
    if (MyProgressItemWidget* row = findRow(file_md5, file_id))
        row->applyProgress(loaded, msg, rate);
}

void MyProgressListWidget::onFormUpdated(AssetFormData& form)
{
    for (int i = 0; i < rows.size(); ++i) {
        if (forms.at(i).id == form.id) {
            rows.at(i)->updateForm(form);
            forms[i] = rows.at(i)->form();
        }
    }
}

void MyProgressListWidget::updateCount()
{
    countText->setText(QString("共%1份资料").arg(forms.size()));
}

void MyProgressListWidget::showFileDialog()
{
    const QStringList files = pickUploadFiles(this);
    if (!files.isEmpty())
        emit s_back_2_editform(files);
}

void MyProgressListWidget::startAll()
{
    startAllBtn->setEnabled(false);
    for (MyProgressItemWidget* row : qAsConst(rows)) {
        if (!row->isActive())
            row->toggle();
    }
    if (startAllTimer) {
        startAllTimer->stop();
        delete startAllTimer;
    }
    startAllTimer = new QTimer(this);
    startAllTimer->setSingleShot(true);
    connect(startAllTimer, &QTimer::timeout, this, [this]() {
        startAllBtn->setEnabled(true);
        startAllTimer->deleteLater();
        startAllTimer = nullptr;
    });
    startAllTimer->start(400);
}

void MyProgressListWidget::placeVisibleRows()
{
    // The rows live on one layer over the viewport rather than on the viewport itself: a
    // scroll moves every child of the viewport, and a thousand rows would make each step
    // slow. The layer is put back after each scroll and only the rows in sight are shown.
    QWidget* viewport = list->viewport();
    rowLayer->setGeometry(viewport->rect());
    QList<MyProgressItemWidget*> inSight;
    if (!rows.isEmpty()) {
        const int height = qMax(viewport->height(), list->minimumHeight());
        const int first = qMax(0, list->verticalScrollBar()->value() / kRowHeight - kBuildAhead);
        const int last = qMin(rows.size() - 1, first + height / kRowHeight + 2 * kBuildAhead + 1);
        for (int i = first; i <= last; ++i) {
            MyProgressItemWidget* row = rows.at(i);
            row->ensureBuilt();
            const QRect rect = list->visualItemRect(list->item(i));
            if (!rect.intersects(viewport->rect()))
                continue;
            row->setGeometry(rect);
            row->show();
            inSight.append(row);
        }
    }
    for (MyProgressItemWidget* row : qAsConst(placed)) {
        if (!inSight.contains(row))
            row->hide();
    }
    placed = inSight;
}

bool MyProgressListWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == list->viewport()
        && (event->type() == QEvent::Resize || event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest))
        placeVisibleRows();
    return BaseWidget::eventFilter(watched, event);
}

void MyProgressListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MyProgressListWidget::dropEvent(QDropEvent* event)
{
    const QStringList paths = acceptDroppedFiles(event->mimeData(), "上传文件，格式不支持", this);
    if (!paths.isEmpty())
        emit s_back_2_editform(paths);
}

void MyProgressListWidget::pointAtRow(QString file_md5, int id)
{
    MyProgressItemWidget* row = findRow(file_md5, id);
    const int index = rows.indexOf(row);
    if (index < 0)
        return;
    QListWidgetItem* item = list->item(index);
    list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    list->scrollToItem(item, QAbstractItemView::PositionAtCenter);
    item->setBackground(QColor("#fff4d6"));
    // The mark fades after a while; the row may be gone by then.
    QPointer<MyProgressItemWidget> marked(row);
    QTimer::singleShot(4000, this, [this, marked]() {
        const int at = rows.indexOf(marked.data());
        if (marked && at >= 0)
            list->item(at)->setBackground(QBrush());
    });
}
