#include "ui/MyBtnformWidget.h"

#include "intake/AcceptedTypes.h"
#include "ui/UploadIntake.h"
#include "widgets/OpenLink.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

MyBtnformWidget::MyBtnformWidget(QWidget* parent)
    : BaseWidget(parent)
{
    setObjectName("btnform_widget");
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(30);
    layout->addStretch();
    quickBtn = new QPushButton("立即上传", this);
    quickBtn->setObjectName("quick_btn");
    quickBtn->setFixedSize(200, 60);
    quickBtn->setCursor(Qt::PointingHandCursor);
    layout->addWidget(quickBtn, 0, Qt::AlignHCenter);
    auto* desc = new QLabel("点击或将文件拖拽到这里上传，大小2G内，资料份数不限", this);
    desc->setObjectName("quick_desc");
    desc->setAlignment(Qt::AlignCenter);
    layout->addWidget(desc);
    layout->addStretch();

    beizhu = new QTextBrowser(this);
    beizhu->setObjectName("beizhu");
    beizhu->setReadOnly(true);
    beizhu->setMaximumHeight(164);
    beizhu->setOpenLinks(false);
    connect(beizhu, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { openLink(url, this); });
    beizhu->setContentsMargins(15, 10, 15, 10);
    QFile help(":/resources/beizhu.html");
    if (help.open(QIODevice::ReadOnly))
        beizhu->setHtml(QString::fromUtf8(help.readAll())
                            .replace(QStringLiteral("{accepted_types}"), acceptedTypesText().toHtmlEscaped()));
    layout->addWidget(beizhu);

    connect(quickBtn, &QPushButton::clicked, this, &MyBtnformWidget::showFileDialog);
}

void MyBtnformWidget::showFileDialog()
{
    const QStringList files = pickUploadFiles(this);
    if (!files.isEmpty())
        emit s_back_2_editform(files);
}

void MyBtnformWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MyBtnformWidget::dropEvent(QDropEvent* event)
{
    const QStringList paths = acceptDroppedFiles(event->mimeData(), "上传文件格式不支持", this);
    if (!paths.isEmpty())
        emit s_back_2_editform(paths);
}
