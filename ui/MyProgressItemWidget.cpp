#include "ui/MyProgressItemWidget.h"

#include "intake/FileTypes.h"
#include "net/MyDAO.h"
#include "ui/MyProgressItemDetailDialog.h"
#include "ui/MyRowProgressText.h"
#include "widgets/ElideOnResize.h"
#include "widgets/MyMsgBox.h"
#include "widgets/OpenLink.h"
#include "widgets/PlainText.h"
#include "widgets/SharpPixmap.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char* const kIdleRate = "0.00B/s";
const char* const kWaitingRate = "等待上传";

// QProgressBar counts in int; files of 2 GiB and more are shown in KiB.
int barUnits(qint64 bytes, qint64 total)
{
    return int(total > INT_MAX ? bytes >> 10 : bytes);
}

QPushButton* rowButton(const QString& icon, const QString& tip, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFixedSize(20, 20);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setToolTip(tip);
    button->setCursor(Qt::PointingHandCursor);
    button->setFlat(true);
    return button;
}

} // namespace

MyProgressItemWidget::MyProgressItemWidget(const AssetFormData& form, QWidget* parent)
    : BaseWidget(parent)
    , formData(form)
{
    uploadJob.file_md5 = form.file_md5;
    uploadJob.file_name = form.file_name;
    uploadJob.file_id = form.id;
    uploadJob.file_size = form.file_size;
    uploadJob.file_size_loaded = form.file_size_loaded;
    uploadJob.chunk_size = 1048576;
    uploadJob.file_path = buildFilePath(form.file_dir, form.file_name);
    uploadJob.created_time = form.created_time;
    uploadJob.file_status = form.is_filling ? UploadStatus::Idle : UploadStatus::Unfilled;

    MyDAO* dao = MyDAO::instance();
    connect(dao, &MyDAO::s_start_upload, this, &MyProgressItemWidget::onStartUpload);
    connect(dao, &MyDAO::frm_update_progress_item, this, &MyProgressItemWidget::updateForm);
    connect(dao, &MyDAO::s_upload_retry_at, this, &MyProgressItemWidget::onRetryAt);
}

QString MyProgressItemWidget::lookStyle(Look look)
{
    switch (look) {
    case Look::Idle:
        return "QProgressBar::chunk {background: #7c8084} #progress_rate {color: #999 }";
    case Look::Waiting:
    case Look::Uploading:
        return "QProgressBar::chunk {background: #2bbb61} #progress_rate {color: #999 }";
    case Look::Failed:
        return "QProgressBar::chunk {background: #f76e6e} #progress_rate {color: #cc1d1d }";
    }
    return QString();
}

void MyProgressItemWidget::ensureBuilt()
{
    if (built)
        return;
    built = true;

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(0);
    const int widths[] = { 50, 0, 220, 40, 40, 40 };
    for (int c = 0; c < 6; ++c)
        grid->setColumnMinimumWidth(c, widths[c]);
    grid->setColumnStretch(1, 1);

    iconLabel = new QLabel(this);
    iconLabel->setObjectName("asset_icon");
    iconLabel->setFixedSize(20, 20);
    iconLabel->setScaledContents(true);
    iconLabel->setPixmap(sharpPixmap(QString(":/images/t/%1.png").arg(formData.file_icon)));
    grid->addWidget(iconLabel, 0, 0, Qt::AlignCenter);

    auto* titleBlock = new QWidget(this);
    auto* titleLayout = new QVBoxLayout(titleBlock);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(4);
    titleLayout->addStretch();
    titleLabel = makePlain(new QLabel(titleBlock));
    titleLabel->setObjectName("asset_title");
    // Long titles are elided instead of widening the row.
    titleLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stageLabel = makePlain(new QLabel(titleBlock));
    stageLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    titleLayout->addWidget(titleLabel);
    titleLayout->addWidget(stageLabel);
    titleLayout->addStretch();
    grid->addWidget(titleBlock, 0, 1);

    auto* progressBlock = new QWidget(this);
    auto* progressLayout = new QVBoxLayout(progressBlock);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(4);
    progressLayout->addStretch();
    bar = new QProgressBar(progressBlock);
    bar->setFixedSize(120, 10);
    bar->setTextVisible(false);
    bar->setMinimum(0);
    bar->setMaximum(qMax(1, barUnits(formData.file_size, formData.file_size)));
    progressLayout->addWidget(bar);
    auto* textRow = new QHBoxLayout();
    textRow->setContentsMargins(0, 0, 0, 0);
    textRow->setSpacing(10);
    sizeLabel = new QLabel(sizeText(quint64(qMax<qint64>(0, formData.file_size))), progressBlock);
    sizeLabel->setObjectName("progress_file_size");
    rateLabel = makePlain(new QLabel(progressBlock));
    rateLabel->setObjectName("progress_rate");
    textRow->addWidget(sizeLabel);
    textRow->addWidget(rateLabel);
    textRow->addStretch();
    progressLayout->addLayout(textRow);
    reading = new MyRowProgressText(progressBlock);
    progressLayout->addWidget(reading);
    retryLabel = new QLabel(progressBlock);
    retryLabel->setObjectName("progress_retry");
    // A quiet third line: the row is only 58 pixels high.
    retryLabel->setStyleSheet("color: #999; font-size: 12px;");
    retryLabel->setVisible(false);
    progressLayout->addWidget(retryLabel);
    progressLayout->addStretch();
    grid->addWidget(progressBlock, 0, 2);

    startBtn = rowButton(":/images/start.png", "开始", this);
    delBtn = rowButton(":/images/del.png", "删除", this);
    editBtn = rowButton(":/images/edit.png", "编辑/查看", this);
    dirBtn = rowButton(":/images/dir.png", "打开所在文件夹", this);
    grid->addWidget(startBtn, 0, 3, Qt::AlignCenter);
    grid->addWidget(delBtn, 0, 4, Qt::AlignCenter);
    grid->addWidget(editBtn, 0, 5, Qt::AlignCenter);
    grid->addWidget(dirBtn, 0, 6, Qt::AlignCenter);
    connect(startBtn, &QPushButton::clicked, this, &MyProgressItemWidget::toggle);
    connect(delBtn, &QPushButton::clicked, this, &MyProgressItemWidget::askDelete);
    connect(editBtn, &QPushButton::clicked, this, &MyProgressItemWidget::editOrView);
    connect(dirBtn, &QPushButton::clicked, this, &MyProgressItemWidget::openFolder);

    if (formData.is_filling) {
        markLabel = new QLabel(this);
        markLabel->setObjectName("asset_mark");
        markLabel->setFixedSize(40, 40);
        markLabel->setPixmap(sharpPixmap(":/images/mark.png"));
        markLabel->setScaledContents(true);
        grid->addWidget(markLabel, 0, 7, Qt::AlignRight | Qt::AlignTop);
    }

    showTexts();
    showProgress();
    setStyleSheet(lookStyle(currentLook));
    setLook(currentLook, rate);
    showRetry();
    if (active)
        startBtn->setToolTip("暂停");
}

bool MyProgressItemWidget::matches(const QString& file_md5, int id) const
{
    return uploadJob.file_md5 == file_md5 && formData.id == id;
}

void MyProgressItemWidget::toggle()
{
    if (active) {
        pause();
        pausedByUser = true;
    } else {
        start();
    }
}

void MyProgressItemWidget::start()
{
    if (active || succeeded)
        return;
    active = true;
    // Any start (the button, "全部开始", the form's "上传") is the user wanting progress shown
    // again; a flag left from an earlier pause would freeze the row at "等待上传".
    pausedByUser = false;
    setLook(Look::Waiting, kWaitingRate);
    clearRetry();
    MyDAO* dao = MyDAO::instance();
    dao->cacheForm(formData);
    uploadJob.file_status = UploadStatus::Waiting;
    uploadJob.file_status_msg.clear();
    dao->enqueueUpload(uploadJob);
    if (startBtn)
        startBtn->setToolTip("暂停");
}

void MyProgressItemWidget::pause()
{
    if (!active)
        return;
    active = false;
    setLook(Look::Idle, kIdleRate);
    clearRetry();
    uploadJob.file_status = UploadStatus::Idle;
    MyDAO::instance()->stopUpload(uploadJob);
    if (startBtn)
        startBtn->setToolTip("开始");
}

void MyProgressItemWidget::fail(const QString& text)
{
    active = false;
    setLook(Look::Failed, text);
    uploadJob.file_status = UploadStatus::Failed;
    MyDAO::instance()->stopUpload(uploadJob);
}

void MyProgressItemWidget::applyProgress(qulonglong loaded, const QString& msg, const QString& uploadRate)
{
    // Reports of a piece that was in flight when the row was paused, or of a worker that
    // let go of the job, may come late: the bar only moves forward.
    const qint64 bytes = qint64(qMin<qulonglong>(loaded, qulonglong(LLONG_MAX)));
    // Except when the service refused the resume point and the file goes again from 0.
    const bool restarted = bytes == 0 && msg.isEmpty() && !uploadRate.isEmpty();
    if (bytes > uploadJob.file_size_loaded || restarted) {
        uploadJob.file_size_loaded = bytes;
        showProgress();
    }
    if (!msg.isEmpty()) {
        fail(msg);
        return;
    }
    // Only a started row shows progress: a late report must not bring back the uploading
    // look of a row that was paused or has failed (no job of it is queued any more).
    if (!active || pausedByUser)
        return;
    // A report without a rate (the completing check) keeps the last one shown.
    setLook(Look::Uploading, uploadRate.isEmpty() ? rate : uploadRate);
    if (startBtn)
        startBtn->setToolTip("暂停");
}

void MyProgressItemWidget::askDelete()
{
    const QString question = active ? "文件正在上传，确定删除吗？" : "确定删除该资料吗？";
    if (MyMsgBox::confirm(question, this) != 1)
        return;
    // Submitted while the question was open: the row is on its way out and the record retired.
    if (succeeded)
        return;
    // The worker lets go of the job before the record goes, so no further piece is sent
    // for an asset that no longer exists.
    if (active) {
        pause();
        pausedByUser = true;
    }
    MyDAO::instance()->deleteAsset(formData.id, uploadJob.file_md5);
}

void MyProgressItemWidget::editOrView()
{
    const bool readOnly = uploadJob.file_size_loaded != 0 || active;
    emit MyDAO::instance()->s_show_or_edit(formData.id, readOnly);
}

void MyProgressItemWidget::openFolder()
{
    // fromLocalFile keeps "#" and "%" in folder names as part of the path.
    openLink(QUrl::fromLocalFile(formData.file_dir), this);
}

void MyProgressItemWidget::onStartUpload(QString file_md5, int id)
{
    if (matches(file_md5, id))
        start();
}

void MyProgressItemWidget::updateForm(const AssetFormData& form)
{
    if (form.id != formData.id)
        return;
    // The edited metadata; the file facts and the resume point stay the row's own.
    const AssetFormData old = formData;
    formData = form;
    formData.file_path = old.file_path;
    formData.file_name = old.file_name;
    formData.file_dir = old.file_dir;
    formData.file_icon = old.file_icon;
    formData.file_md5 = old.file_md5;
    formData.file_size = old.file_size;
    formData.file_size_loaded = uploadJob.file_size_loaded;
    formData.is_filling = old.is_filling;
    formData.is_uploaded = old.is_uploaded;
    formData.created_time = old.created_time;
    if (built)
        showTexts();
}

void MyProgressItemWidget::setLook(Look look, const QString& rateLabelText)
{
    const bool restyle = look != currentLook;
    currentLook = look;
    rate = rateLabelText;
    // A style sheet costs a style object per widget: rows get theirs when they are built.
    if (!built) {
        emit s_changed();
        return;
    }
    if (restyle)
        setStyleSheet(lookStyle(look));
    startBtn->setIcon(QIcon(look == Look::Idle || look == Look::Failed ? ":/images/start.png" : ":/images/pause.png"));
    rateLabel->setText(rate);
    showReading();
    rateLabel->setToolTip(statusTip());
    emit s_changed();
}

void MyProgressItemWidget::showTexts()
{
    setPlainToolTip(titleLabel, formData.subject);
    stageLabel->setText(QString("%1，%2").arg(MyProgressItemDetailDialog::stageName(formData.xueduanid),
                                              MyProgressItemDetailDialog::subjectName(formData.chid)));
    // Elided to the label's own width, again whenever the layout changes it.
    ElideOnResize::setText(titleLabel, formData.subject);
}

void MyProgressItemWidget::showProgress()
{
    if (bar)
        bar->setValue(qMin(bar->maximum(), barUnits(uploadJob.file_size_loaded, formData.file_size)));
    showReading();
}

void MyProgressItemWidget::markSucceeded()
{
    succeeded = true;
    active = false;
    uploadJob.file_size_loaded = qMax(uploadJob.file_size_loaded, formData.file_size);
    showProgress();
    // Nothing is left to steer on a submitted asset.
    for (QPushButton* button : { startBtn, delBtn, editBtn })
        if (button)
            button->setEnabled(false);
}

void MyProgressItemWidget::showReading()
{
    if (!reading)
        return;
    using Phase = MyRowProgressText::Phase;
    const Phase phases[] = { Phase::Idle, Phase::Waiting, Phase::Uploading, Phase::Failed };
    reading->showState(uploadJob.file_size_loaded, formData.file_size,
                       succeeded ? Phase::Succeeded : phases[int(currentLook)]);
}

QString MyProgressItemWidget::statusTip() const
{
    switch (currentLook) {
    case Look::Idle:
        return QString("未在上传。点击“开始”从已上传的位置继续。");
    case Look::Waiting:
        return QString("排队等待上传，轮到时自动开始。");
    case Look::Uploading:
        return QString("正在上传。完成后自动提交资料信息。");
    case Look::Failed:
        break;
    }
    if (nextTry.isValid())
        return QString("网络或服务器暂时出错，上传已中断。\n将于 %1 自动重试，也可点击“开始”立即重试。")
            .arg(nextTry.toString("HH:mm:ss"));
    return QString("上传或提交未能完成，原因见此处文字。\n不会自动重试：请检查后点击“开始”再试，或删除该资料。");
}

void MyProgressItemWidget::onRetryAt(QString file_md5, int id, QDateTime when)
{
    if (!matches(file_md5, id) || currentLook != Look::Failed)
        return;
    nextTry = when;
    showRetry();
}

void MyProgressItemWidget::clearRetry()
{
    if (!nextTry.isValid())
        return;
    nextTry = QDateTime();
    MyDAO::instance()->cancelUploadRetry(formData.id);
    showRetry();
}

void MyProgressItemWidget::showRetry()
{
    if (!built)
        return;
    retryLabel->setVisible(nextTry.isValid());
    // The row has room for one line under the bar: the retry time stands in for the reading.
    if (reading)
        reading->setVisible(!nextTry.isValid());
    retryLabel->setText(nextTry.isValid() ? QString("将于 %1 自动重试").arg(nextTry.toString("HH:mm:ss")) : QString());
    rateLabel->setToolTip(statusTip());
}
