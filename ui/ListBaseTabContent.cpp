#include "ui/ListBaseTabContent.h"

#include "app/RunLog.h"
#include "form/XdChidItemWidgets.h"
#include "intake/ElideLabel.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "ui/MyPaginationWidget.h"
#include "widgets/PlainText.h"
#include "widgets/SharpPixmap.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <tuple>

ListBaseTabContent::ListBaseTabContent(QWidget* parent)
    : BaseWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* top = new QWidget(this);
    top->setObjectName("search_container");
    top->setFixedHeight(70);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setSpacing(0);
    topLayout->setContentsMargins(0, 0, 0, 0);
    filterWidgets = new XdChidItemWidgets(0, 0, top);
    topLayout->addWidget(filterWidgets);
    topLayout->addStretch();
    searchEdit = new QLineEdit(top);
    searchEdit->setPlaceholderText(QStringLiteral("请输入资料标题..."));
    searchEdit->setFixedSize(300, 30);
    searchBtn = new QPushButton(searchEdit);
    searchBtn->setIcon(QIcon(":/images/search.png"));
    searchBtn->setIconSize(QSize(25, 25));
    searchBtn->setFixedSize(30, 30);
    searchBtn->setCursor(Qt::PointingHandCursor);
    searchBtn->setStyleSheet("border:none;");
    auto* inBox = new QHBoxLayout(searchEdit);
    inBox->setSpacing(0);
    inBox->setContentsMargins(0, 0, 0, 0);
    inBox->addStretch();
    inBox->addWidget(searchBtn);
    searchEdit->setTextMargins(0, 0, searchBtn->width(), 0);
    topLayout->addWidget(searchEdit);
    layout->addWidget(top);

    table = new QWidget(this);
    layout->addWidget(table, 1);
    totalText = new QLabel(this);
    totalText->setFixedHeight(20);
    totalText->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    totalText->setStyleSheet("color: #666;");
    totalText->hide();
    layout->addWidget(totalText);
    pager = new MyPaginationWidget(this);
    layout->addWidget(pager, 0, Qt::AlignBottom);

    connect(filterWidgets, &XdChidItemWidgets::s_changed, this, &ListBaseTabContent::onFilterChanged);
    connect(searchBtn, &QPushButton::clicked, this, &ListBaseTabContent::onSearch);
    // Enter in the box searches too, as the button does.
    connect(searchEdit, &QLineEdit::returnPressed, this, &ListBaseTabContent::onSearch);
    connect(searchEdit, &QLineEdit::textEdited, this, [this]() { markSearchApplied(true); });
    connect(pager, &MyPaginationWidget::s_toPage, this, [this](int n) {
        pageNo = n;
        renderTBody();
    });
    takeRepliesFor(this);
}

void ListBaseTabContent::takeRepliesFor(QObject* self)
{
    connect(MyDAO::instance(), &MyDAO::s_exec_callback, self, [self](HTTP_CALLBACK cb, QJsonObject obj, QObject* ctx) {
        if (ctx == self && cb)
            cb(obj);
    });
}

int ListBaseTabContent::rowInt(const QJsonObject& row, const char* key)
{
    return row.value(QLatin1String(key)).toString().toInt();
}

QString ListBaseTabContent::rowTime(const QJsonObject& row, const char* key)
{
    const qint64 secs = row.value(QLatin1String(key)).toString().toLongLong();
    return QDateTime::fromSecsSinceEpoch(secs).toString("yyyy-MM-dd hh:mm");
}

QLabel* ListBaseTabContent::centredLabel(const QString& text, int width, QWidget* parent)
{
    auto* label = new QLabel(parent);
    // Everything shown here comes from the site: never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QWidget* ListBaseTabContent::tableStrip(const QString& objectName, QWidget* parent)
{
    auto* strip = new QWidget(parent);
    strip->setObjectName(objectName);
    strip->setAttribute(Qt::WA_StyledBackground);
    return strip;
}

std::pair<QLabel*, QListWidget*> ListBaseTabContent::stackTable(QWidget* table, QWidget* header,
                                                                const QString& emptyText, int emptyHeight)
{
    auto* empty = new QLabel(emptyText, table);
    empty->setFixedHeight(emptyHeight);
    empty->setAlignment(Qt::AlignCenter);
    empty->hide();
    auto* rows = new QListWidget(table);
    rows->setObjectName("t_body");
    rows->setSelectionMode(QAbstractItemView::NoSelection);
    rows->setFocusPolicy(Qt::NoFocus);

    auto* v = new QVBoxLayout(table);
    v->setSpacing(0);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(header);
    v->addWidget(empty);
    v->addWidget(rows);
    return { empty, rows };
}

QString ListBaseTabContent::pageStyleSheet()
{
    return QStringLiteral(
        "QTabBar::tab { height: 34px; padding: 0 18px; border: none; color: #333333; font-size: 14px; }"
        "QTabBar::tab:selected { color: #01945d; border-bottom: 2px solid #01945d; }"
        "QTabBar#date_span_widget::tab { height: 26px; padding: 0 12px; border: 1px solid #dcdcdc; font-size: 12px; }"
        "QTabBar#date_span_widget::tab:selected { background: #01945d; color: #ffffff; border-color: #01945d; }"
        "#table_header, #t_header { background: #f5f6f7; color: #333333; }"
        "QListWidget#t_body { border: none; background: #ffffff; }"
        "QListWidget#t_body::item { border-bottom: 1px solid #eeeeee; }"
        "QListWidget#t_body::item:hover { background: #f7fbf9; }"
        "#item_title { color: #333333; }"
        "#search_container QLineEdit, QDateEdit, MyPaginationWidget QLineEdit {"
        " border: 1px solid #dcdcdc; border-radius: 3px; background: #ffffff; padding: 0 4px; min-height: 26px; }"
        "MyPaginationWidget QPushButton { border: 1px solid #dcdcdc; border-radius: 3px; background: #ffffff;"
        " min-height: 26px; padding: 0 8px; color: #333333; }"
        "MyPaginationWidget QPushButton:hover { color: #01945d; border-color: #01945d; }"
        "MyPaginationWidget QPushButton#page_btn { padding: 0; }"
        "MyPaginationWidget QPushButton#page_btn:checked { background: #01945d; border-color: #01945d; color: #ffffff; "
        "}"
        "QPushButton#btn_withdraw { background: #01945d; color: #ffffff; border: none; border-radius: 3px; }"
        "QPushButton#btn_withdraw:hover { background: #008553; }");
}

bool ListBaseTabContent::isClientFailure(const QJsonObject& reply)
{
    return !reply.contains(QLatin1String("code")) && reply.value(QLatin1String("errcode")).toInt() == -3;
}

bool ListBaseTabContent::replyAccepted(const QJsonObject& reply) const
{
    // The client's own failure envelope is no list: keep what the page shows.
    return !isClientFailure(reply) && reply.value(QLatin1String("code")).toInt() == 0;
}

void ListBaseTabContent::buildTable(const QList<QPair<QString, int>>& headerColumns, const QString& emptyTextValue,
                                    int titleMargin)
{
    elideMargin = titleMargin;
    QWidget* header = tableStrip("table_header", table);
    header->setFixedHeight(38);
    auto* h = new QHBoxLayout(header);
    auto* blank = new QLabel(header);
    blank->setFixedWidth(20);
    h->addWidget(blank);
    h->addWidget(new QLabel(QStringLiteral("标题"), header));
    h->addStretch();
    for (const auto& column : headerColumns)
        h->addWidget(centredLabel(column.first, column.second, header));

    std::tie(emptyText, tBody) = stackTable(table, header, emptyTextValue, 40);
    renderTBody();
}

void ListBaseTabContent::requestPage(const QString& flag)
{
    QUrlQuery query;
    query.addQueryItem("flag", flag);
    // An empty text still goes out as "searchCenter=" (a null one would lose the "=").
    query.addQueryItem("searchCenter", searchCenter.isNull() ? QStringLiteral("") : searchCenter);
    query.addQueryItem("searchType", QString::number(searchKind));
    query.addQueryItem("stage", QString::number(stage));
    query.addQueryItem("subject_id", QString::number(subject));
    query.addQueryItem("page", QString::number(pageNo));
    const LatestRequest::Ticket ticket = listRequests.next();
    MyDAO::instance()->httpGet(
        URL_ASSET, query,
        [this, ticket](QJsonObject& reply) {
            if (!listRequests.isCurrent(ticket) || !replyAccepted(reply))
                return;
            renderMeta(reply);
            const QJsonArray rows = reply.value(QLatin1String("data")).toArray();
            initTBody(rows);
            emptyText->setVisible(rows.isEmpty());
        },
        this);
}

void ListBaseTabContent::renderMeta(const QJsonObject& reply)
{
    const QJsonObject meta = reply.value(QLatin1String("_meta")).toObject();
    const int total = meta.value(QLatin1String("totalCount")).toInt();
    totalText->setVisible(total != 0);
    if (total != 0)
        totalText->setText(QStringLiteral("共计%1条数据").arg(total));
    pager->setMeta(meta);
}

void ListBaseTabContent::initTBody(const QJsonArray& rows)
{
    tBody->clear();
    const int shown = shownRowCount(rows.size());
    for (int i = 0; i < shown; ++i) {
        const QJsonObject row = rows.at(i).toObject();
        QWidget* rowWidget = tableStrip("table_row");
        auto* h = new QHBoxLayout(rowWidget);
        auto* icon = new QLabel(rowWidget);
        icon->setFixedWidth(20);
        const QString iconName = rowInt(row, "typeidsTotal") >= 2
            ? QStringLiteral("t/tar")
            : typeIcon(row.value(QLatin1String("typeidroot")).toString());
        icon->setPixmap(sharpPixmap(QStringLiteral(":/images/%1.png").arg(iconName)));
        icon->setProperty("icon", iconName);
        h->addWidget(icon);
        QLabel* title = makePlain(new QLabel(rowWidget));
        title->setObjectName("item_title");
        // Entities decoded by the stripping may spell markup again: the tool tip shows it as text.
        setPlainToolTip(title, stripHtml(row.value(QLatin1String("subject")).toString()));
        h->addWidget(title);
        h->addStretch();
        addColumns(h, rowWidget, title, row);

        auto* item = new QListWidgetItem(tBody);
        item->setSizeHint(QSize(40, 48));
        tBody->setItemWidget(item, rowWidget);
    }
    elideTitles();
}

void ListBaseTabContent::elideTitles()
{
    elideLabel(tBody, table->width() - elideMargin, QStringLiteral("item_title"));
}

void ListBaseTabContent::resizeEvent(QResizeEvent* event)
{
    BaseWidget::resizeEvent(event);
    if (tBody)
        elideTitles();
}

void ListBaseTabContent::onFilterChanged()
{
    // One choice moves the combos several times (a new stage first keeps the old subject, then
    // refills the subjects): let them settle, then ask once with what they show.
    if (filterQueued)
        return;
    filterQueued = true;
    QTimer::singleShot(0, this, [this] {
        filterQueued = false;
        stage = filterWidgets->stage();
        subject = filterWidgets->subject();
        searchCenter.clear();
        searchKind = 0;
        pageNo = 1;
        // The typed words stay, but the list no longer follows them: say so in the box.
        markSearchApplied(searchEdit->text().trimmed().isEmpty());
        renderTBody();
    });
}

void ListBaseTabContent::markSearchApplied(bool applied)
{
    if (searchEdit->property("stale").toBool() == !applied)
        return;
    searchEdit->setProperty("stale", !applied);
    searchEdit->setToolTip(applied ? QString() : QStringLiteral("筛选已更改，搜索词未生效；点击搜索按钮重新搜索"));
    searchEdit->style()->unpolish(searchEdit);
    searchEdit->style()->polish(searchEdit);
}

void ListBaseTabContent::onSearch()
{
    markSearchApplied(true);
    searchCenter = searchEdit->text().trimmed();
    searchKind = searchCenter.isEmpty() ? 0 : 1;
    renderTBody();
}
