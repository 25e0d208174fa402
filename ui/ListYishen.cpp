#include "ui/ListYishen.h"

#include "app/SignedInBrowser.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"
#include "widgets/OpenLink.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalMapper>
#include <QUrl>
#include <QUrlQuery>

ListYishen::ListYishen(QWidget* parent)
    : ListBaseTabContent(parent)
{
    downloadMapper = downloadMapperFor(this);
    initTable();
}

void ListYishen::initTable()
{
    buildTable({ { QStringLiteral("上传/审核时间"), 140 },
                 { QStringLiteral("星级"), 60 },
                 { QStringLiteral("下载"), 60 },
                 { QStringLiteral("查看"), 60 },
                 { QStringLiteral("操作"), 60 } },
               QStringLiteral("呀，暂无数据..."), 449);
}

void ListYishen::renderTBody()
{
    requestPage(QStringLiteral("7,8,17"));
}

bool ListYishen::replyAccepted(const QJsonObject& reply) const
{
    // Only a real list answer counts here; an absent "code" does not.
    return reply.value(QLatin1String("code")) == QJsonValue(0);
}

QString ListYishen::pageUrl(const QJsonObject& row)
{
    // Each part is a path segment of its own, whatever the site sent.
    auto part = [&row](const char* key) {
        return QString::fromLatin1(QUrl::toPercentEncoding(row.value(QLatin1String(key)).toString()));
    };
    return Endpoints::base(Endpoints::Role::Website)
        + QStringLiteral("/H/%1/%2/%3.shtml").arg(part("chid"), part("catid"), part("itemid"));
}

QSignalMapper* ListYishen::downloadMapperFor(QObject* owner)
{
    auto* mapper = new QSignalMapper(owner);
    connect(mapper, &QSignalMapper::mappedString, owner, [](const QString& text) {
        const QStringList parts = text.split(QStringLiteral("<>"));
        openDownloadManager(parts.value(0), parts.value(1));
    });
    return mapper;
}

QPushButton* ListYishen::downloadButton(const QJsonObject& row, int width, QSignalMapper* mapper, QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("下载"), parent);
    button->setFlat(true);
    button->setFixedWidth(width);
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, mapper, qOverload<>(&QSignalMapper::map));
    mapper->setMapping(button,
                       row.value(QLatin1String("itemid")).toString() + QStringLiteral("<>")
                           + row.value(QLatin1String("chid")).toString());
    return button;
}

void ListYishen::addColumns(QHBoxLayout* rowLayout, QWidget* rowWidget, QLabel* title, const QJsonObject& row)
{
    title->setCursor(Qt::PointingHandCursor);
    title->setProperty("url", pageUrl(row));
    title->installEventFilter(this);

    rowLayout->addWidget(
        centredLabel(QStringLiteral("%1\n%2").arg(rowTime(row, "dateline"), rowTime(row, "editline")), 140, rowWidget));
    const char* starsKey = row.value(QLatin1String("flag")).toString() == QLatin1String("7") ? "jinpoint" : "stars";
    rowLayout->addWidget(
        centredLabel(QStringLiteral("%1星").arg(row.value(QLatin1String(starsKey)).toString()), 60, rowWidget));
    rowLayout->addWidget(
        centredLabel(QStringLiteral("%1次").arg(row.value(QLatin1String("downnum")).toString()), 60, rowWidget));

    auto* view = new QPushButton(rowWidget);
    view->setObjectName("view_btn");
    view->setIcon(QIcon(":/images/view.png"));
    view->setIconSize(QSize(30, 30));
    view->setFixedWidth(60);
    view->setToolTip(QStringLiteral("查看详情"));
    view->setCursor(Qt::PointingHandCursor);
    view->setFlat(true);
    const QString itemid = row.value(QLatin1String("itemid")).toString();
    connect(view, &QPushButton::clicked, this, [this, itemid] { viewDetail(itemid); });
    rowLayout->addWidget(view);
    rowLayout->addWidget(downloadButton(row, 60, downloadMapper, rowWidget));
}

bool ListYishen::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->objectName() == QLatin1String("item_title")
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        openLink(QUrl(watched->property("url").toString()), this);
        return true;
    }
    return ListBaseTabContent::eventFilter(watched, event);
}

void ListYishen::viewDetail(const QString& itemid)
{
    QUrlQuery query;
    query.addQueryItem("itemid", itemid);
    // No context: a failure is told even when the tab has gone meanwhile; the detail itself
    // is only shown by a tab that is still there. A reply to an earlier "查看详情" says nothing.
    QPointer<ListYishen> self(this);
    const LatestRequest::Ticket ticket = detailRequests.next();
    MyDAO::instance()->httpGet(URL_ASSET_DETAIL, query, [self, ticket](QJsonObject& reply) {
        if (self && !self->detailRequests.isCurrent(ticket))
            return;
        if (reply.value(QLatin1String("errcode")).toInt() == -3) {
            MyMsgBox::alert(reply.value(QLatin1String("message")).toString());
            return;
        }
        if (reply.value(QLatin1String("code")).toInt() == 0) {
            if (self)
                emit self->view_asset(reply.value(QLatin1String("data")).toObject());
            return;
        }
        MyMsgBox::alert(reply.value(QLatin1String("msg")).toString());
    });
}
