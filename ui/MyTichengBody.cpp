#include "ui/MyTichengBody.h"

#include "app/Clock.h"
#include "intake/FileTypes.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "ui/ListBaseTabContent.h"
#include "ui/MyCalendarWidget.h"
#include "ui/MyPaginationWidget.h"
#include "widgets/ElideOnResize.h"
#include "widgets/PlainText.h"
#include "widgets/SharpPixmap.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTabBar>
#include <QTextDocument>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <cmath>
#include <tuple>

namespace {

const char kDateFormat[] = "yyyy-MM-dd";

// A text from the site cut to its column with "…"; the whole of it in the tool tip.
void elideInColumn(QLabel* label, const QString& text)
{
    label->setToolTip(text.isEmpty() ? QString() : plainToolTip(text));
    ElideOnResize::setText(label, text);
}

} // namespace

MyTichengBody::MyTichengBody(int kind, QWidget* parent)
    : BaseWidget(parent)
    , kindValue(kind)
    , dao(MyDAO::instance())
{
    const QDate today = Clock::now().date();
    startTime = today.addDays(-1).toString(kDateFormat);
    endTime = today.toString(kDateFormat);
    ListBaseTabContent::takeRepliesFor(this);
    // The time column holds a whole "2025-12-07 17:25:59" in the font the program shows it in.
    const int timeWidth = fontMetrics().horizontalAdvance(QStringLiteral("2025-12-07 17:25:59")) + 16;
    columnWidths[4] = qMax(columnWidths.at(4), timeWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* filterBar = new QHBoxLayout;
    filterBar->setSpacing(20);
    filterBar->setContentsMargins(0, 20, 0, 20);
    filterBar->addWidget(initComboBox());
    dateSpan = new QTabBar(this);
    dateSpan->setDrawBase(false);
    dateSpan->setObjectName("date_span_widget");
    dateSpan->addTab(QStringLiteral("昨天"));
    dateSpan->addTab(QStringLiteral("近7天"));
    dateSpan->addTab(QStringLiteral("近30天"));
    dateSpan->setCurrentIndex(0);
    filterBar->addWidget(dateSpan);
    auto* dates = new QHBoxLayout;
    dates->setSpacing(10);
    auto makeEdit = [this](const QString& date) {
        auto* edit = new QDateEdit(QDate::fromString(date, kDateFormat), this);
        edit->setDisplayFormat(kDateFormat);
        edit->setCalendarPopup(true);
        edit->setCalendarWidget(new MyCalendarWidget(edit));
        return edit;
    };
    startDateEdit = makeEdit(startTime);
    endDateEdit = makeEdit(endTime);
    dates->addWidget(startDateEdit);
    auto* dash = new QLabel(QStringLiteral("-"), this);
    dash->setStyleSheet("color:#666");
    dates->addWidget(dash);
    dates->addWidget(endDateEdit);
    filterBar->addLayout(dates);
    filterBar->addStretch();
    layout->addLayout(filterBar);

    layout->addWidget(initTable(), 1);
    pageCount = new QLabel(this);
    pageCount->setObjectName("myticheng_count_label");
    pageCount->setFixedHeight(30);
    pageCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(pageCount);
    pager = new MyPaginationWidget(this);
    layout->addWidget(pager, 0, Qt::AlignBottom);

    connect(startDateEdit, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        startTime = d.toString(kDateFormat);
        renderTableBody();
    });
    connect(endDateEdit, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        endTime = d.toString(kDateFormat);
        renderTableBody();
    });
    // A span is chosen by a change of tab, or by a left click on the tab already chosen (see
    // eventFilter); right clicks and clicks beside the tabs choose nothing.
    connect(dateSpan, &QTabBar::currentChanged, this, &MyTichengBody::onSpanChosen);
    dateSpan->installEventFilter(this);
    connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        gainsTypeValue = combo->itemData(index).toString();
        renderTableBody();
    });
    connect(pager, &MyPaginationWidget::s_toPage, this, [this](int n) {
        pageNo = n;
        renderTableBody();
    });
    renderTableBody();
}

QComboBox* MyTichengBody::initComboBox()
{
    combo = new QComboBox(this);
    auto* view = new QListWidget(combo);
    view->setFocusPolicy(Qt::NoFocus);
    combo->setModel(view->model());
    combo->setView(view);
    combo->addItem(QStringLiteral("全部"), QString());
    combo->setCurrentIndex(0);
    dao->httpGet(
        URL_GAINS_TYPE, QUrlQuery(),
        [this](QJsonObject& reply) {
            const QJsonObject types = reply.value(QLatin1String("data")).toObject();
            for (auto it = types.begin(); it != types.end(); ++it)
                combo->addItem(it.value().toString(), it.key());
        },
        this);
    return combo;
}

QWidget* MyTichengBody::initTable()
{
    auto* table = new QWidget(this);
    table->setObjectName("t_table");
    QWidget* header = ListBaseTabContent::tableStrip("t_header", table);
    header->setFixedHeight(40);
    auto* h = new QHBoxLayout(header);
    const QString titles[] = { QStringLiteral("标题"),     QStringLiteral("资料ID"),   QStringLiteral("下载人ID"),
                               QStringLiteral("提成类型"), QStringLiteral("提成时间"), QStringLiteral("提成点") };
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(titles[i], header);
        if (columnWidths.at(i) > 0) {
            label->setFixedWidth(columnWidths.at(i));
            label->setAlignment(Qt::AlignCenter);
        }
        h->addWidget(label, columnWidths.at(i) > 0 ? 0 : 1);
    }
    std::tie(emptyText, tBody)
        = ListBaseTabContent::stackTable(table, header, QStringLiteral("呀，暂时没有数据。"), 60);
    return table;
}

void MyTichengBody::renderTableBody()
{
    QUrlQuery query;
    query.addQueryItem("start_time", startTime);
    query.addQueryItem("end_time", endTime);
    query.addQueryItem("page", QString::number(pageNo));
    query.addQueryItem("status", kindValue == 1 ? QStringLiteral("2") : QStringLiteral("1"));
    query.addQueryItem("gainsType", gainsTypeValue.isNull() ? QStringLiteral("") : gainsTypeValue);
    const LatestRequest::Ticket ticket = recordRequests.next();
    dao->httpGet(
        URL_GAINS_INFO, query,
        [this, ticket](QJsonObject& reply) {
            // A request that got no usable answer says nothing about the records: keep the table.
            if (!recordRequests.isCurrent(ticket) || ListBaseTabContent::isClientFailure(reply)
                || reply.value(QLatin1String("code")).toInt() != 0)
                return;
            const QJsonArray records = reply.value(QLatin1String("data")).toArray();
            emptyText->setVisible(records.isEmpty());
            pager->setMeta(reply.value(QLatin1String("_meta")).toObject());
            renderRows(records);
        },
        this);
}

QString MyTichengBody::pageTotalText(const QJsonArray& records, int kind)
{
    // Summed as 32-bit floats (see the header); only when that overflows (a few
    // values near the float limit) is the wider sum shown instead of "inf".
    float sum = 0;
    double wide = 0;
    for (const QJsonValue& value : records) {
        // "nan", "inf" and numbers beyond a float are no points.
        const float points = value.toObject().value(QLatin1String("gainpoint")).toString().toFloat();
        if (std::isfinite(points)) {
            sum += points;
            wide += double(points);
        }
    }
    const double shown = std::isfinite(sum) ? double(sum) : wide;
    return QStringLiteral("本页统计：%1%2")
        .arg(QString::number(shown, 'g', 6), kind == 1 ? QStringLiteral("精品点") : QStringLiteral("普通点"));
}

void MyTichengBody::renderRows(const QJsonArray& reply)
{
    tBody->clear();
    pageCount->setVisible(!reply.isEmpty());
    if (reply.isEmpty())
        return;
    // The rows shown, and summed, are those of a page at most.
    QJsonArray records = reply;
    const int shown = shownRowCount(reply.size());
    if (shown < reply.size()) {
        records = QJsonArray();
        for (int i = 0; i < shown; ++i)
            records.append(reply.at(i));
    }
    for (const QJsonValue& value : qAsConst(records)) {
        const QJsonObject record = value.toObject();
        auto text = [&record](const char* key) { return record.value(QLatin1String(key)).toString(); };
        QWidget* row = ListBaseTabContent::tableStrip("table_row");
        auto* h = new QHBoxLayout(row);
        auto* icon = new QLabel(row);
        icon->setFixedWidth(20);
        icon->setPixmap(sharpPixmap(QStringLiteral(":/images/%1.png").arg(typeIcon(text("typeidroot")))));
        h->addWidget(icon);
        // Long titles are cut at the row's free width instead of pushing the columns out.
        QLabel* title = plainLabel(QString(), row);
        title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        elideInColumn(title, stripHtml(text("title")));
        h->addWidget(title, 1);
        h->addStretch();
        const char* keys[] = { "itemid", "downuser", "gainname", "gaintime", "gainpoint" };
        for (int i = 0; i < 5; ++i) {
            QLabel* cell = ListBaseTabContent::centredLabel(QString(), columnWidths.at(i + 1), row);
            elideInColumn(cell, text(keys[i]));
            h->addWidget(cell);
        }
        auto* item = new QListWidgetItem(tBody);
        item->setSizeHint(QSize(40, 40));
        tBody->setItemWidget(item, row);
    }
    pageCount->setText(pageTotalText(records, kindValue));
}

bool MyTichengBody::eventFilter(QObject* watched, QEvent* event)
{
    // The tab already chosen applies its span again (after the dates were edited).
    if (watched == dateSpan && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const int index = dateSpan->tabAt(press->pos());
        if (press->button() == Qt::LeftButton && index >= 0 && index == dateSpan->currentIndex())
            onSpanChosen(index);
    }
    return BaseWidget::eventFilter(watched, event);
}

void MyTichengBody::onSpanChosen(int index)
{
    if (index < 0)
        return;
    const QDate today = Clock::now().date();
    QDate start = today.addDays(-1);
    if (index == 1)
        start = today.addDays(-7);
    else if (index == 2)
        start = today.addMonths(-1);
    startTime = start.toString(kDateFormat);
    endTime = today.toString(kDateFormat);
    // Each edit reloads through its own handler, and only when its date really changes.
    startDateEdit->setDate(start);
    endDateEdit->setDate(today);
}
