#include "form/MyChapterTreeDialog.h"

#include "form/PickerFrame.h"
#include "net/Endpoints.h"
#include "net/MyDAO.h"
#include "widgets/MyMsgBox.h"

#include <QHash>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QStackedLayout>
#include <QTreeWidget>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {

// Encoded query -> "data" of a good reply. Chapter trees do not change during a run.
QHash<QString, QJsonArray>& chapterCache()
{
    static QHash<QString, QJsonArray> cache;
    return cache;
}

int sentRequests = 0;

QString text(const QJsonObject& o, const char* key)
{
    return o.value(key).toVariant().toString();
}

// A reply whose "data" is no array of objects is as good as a failed one.
bool wellFormed(const QJsonValue& data)
{
    if (!data.isArray())
        return false;
    for (const QJsonValue& v : data.toArray()) {
        if (!v.isObject())
            return false;
    }
    return true;
}

} // namespace

int MyChapterTreeDialog::requestCount()
{
    return sentRequests;
}

void MyChapterTreeDialog::clearCacheForTesting()
{
    chapterCache().clear();
    sentRequests = 0;
}

MyChapterTreeDialog::MyChapterTreeDialog(QWidget* parent)
    : BaseDialog(parent)
{
    resize(520, 600);
    PickerFrame frame = buildPickerFrame(this, "选择栏目");
    auto* holder = new QWidget(this);
    pages = new QStackedLayout(holder);

    auto* loadingPage = new QWidget(holder);
    auto* loadingLayout = new QVBoxLayout(loadingPage);
    loadingLabel = new QLabel("章节数据正在加载...", loadingPage);
    loadingLabel->setAlignment(Qt::AlignCenter);
    failedLabel = new QLabel("章节数据未能取得，请关闭后重新打开再试", loadingPage);
    failedLabel->setAlignment(Qt::AlignCenter);
    failedLabel->setStyleSheet("color:#999;font-size:12px;");
    failedLabel->hide();
    loadingLayout->addStretch();
    loadingLayout->addWidget(loadingLabel);
    loadingLayout->addWidget(failedLabel);
    loadingLayout->addStretch();
    pages->addWidget(loadingPage);

    treeWidget = new QTreeWidget(holder);
    treeWidget->setColumnCount(1);
    treeWidget->setHeaderHidden(true);
    treeWidget->setUniformRowHeights(true);
    pages->addWidget(treeWidget);
    frame.body->addWidget(holder);
    connect(frame.submit, &QPushButton::clicked, this, &MyChapterTreeDialog::confirm);
    // A double click on a last-level chapter takes it, as "确定" would (Enter reaches "确定"
    // itself); on a chapter with children it only opens or closes it.
    connect(treeWidget, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item && item->data(0, ChildRole).toString() == "0")
            confirm();
    });
}

bool MyChapterTreeDialog::holdsTree(int s, int subj) const
{
    return built && stage == s && subject == subj;
}

void MyChapterTreeDialog::initTree(int s, int subj, QString /*catpath: the chosen chapter is not preselected*/)
{
    stage = s;
    subject = subj;
    built = false;
    treeWidget->clear();
    treeWidget->setHeaderHidden(true);
    treeWidget->setUniformRowHeights(true);
    treeWidget->setUpdatesEnabled(false);
    loading = true;
    failedLabel->hide();
    pages->setCurrentIndex(0);
    const LatestRequest::Ticket gen = trees.next();

    QUrlQuery query;
    query.addQueryItem("stage", QString::number(stage));
    query.addQueryItem("subject_id", QString::number(subject));
    const QString key = query.toString(QUrl::FullyEncoded);
    auto cached = chapterCache().constFind(key);
    if (cached != chapterCache().constEnd()) {
        handleReply(QJsonObject { { "code", 0 }, { "data", cached.value() } }, key, gen);
        return;
    }
    ++sentRequests;
    QPointer<MyChapterTreeDialog> self(this);
    MyDAO::instance()->httpGet(
        URL_ASSET_VERSIONS, query,
        [self, key, gen](QJsonObject& reply) {
            if (self)
                self->handleReply(reply, key, gen);
        },
        // The guard above drops the reply once this widget is gone.
        nullptr);
}

void MyChapterTreeDialog::handleReply(const QJsonObject& reply, const QString& key, LatestRequest::Ticket gen)
{
    // A reply for a tree asked for earlier is of no use any more.
    if (!trees.isCurrent(gen))
        return;
    const QJsonValue data = reply.value("data");
    if (!reply.value("code").isDouble() || reply.value("code").toInt() != 0 || !wellFormed(data)) {
        failedLabel->show();
        treeWidget->setUpdatesEnabled(true);
        loading = false;
        return;
    }
    const QJsonArray entries = data.toArray();
    if (!chapterCache().contains(key))
        chapterCache().insert(key, entries);

    QHash<QString, QList<QTreeWidgetItem*>> byParent;
    QString topId;
    bool haveTop = false;
    for (int i = 0; i < entries.size(); ++i) {
        const QJsonObject e = entries.at(i).toObject();
        auto* item = new QTreeWidgetItem(QStringList { text(e, "catname") });
        item->setData(0, CatidRole, text(e, "catid"));
        item->setData(0, UpidRole, text(e, "upid"));
        item->setData(0, OrderRole, text(e, "displayorder"));
        item->setData(0, ChildRole, text(e, "child"));
        item->setData(0, VersionRole, text(e, "bookversionid"));
        item->setData(0, PositionRole, i);
        byParent[text(e, "upid")].append(item);
        if (!haveTop && text(e, "upid") == "0") {
            topId = text(e, "catid");
            haveTop = true;
        }
    }
    for (auto& siblings : byParent) {
        std::stable_sort(siblings.begin(), siblings.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
            return a->data(0, OrderRole).toString().toInt() < b->data(0, OrderRole).toString().toInt();
        });
    }
    // Items that end up outside the tree (the top entry, orphans) are freed at the end.
    QSet<QTreeWidgetItem*> placed;
    QSet<QString> visited;
    // Chapter trees are a handful of levels deep. A reply chaining thousands of entries would
    // run out of stack here (and in the tree widget's own recursion), so deeper ones are left out.
    constexpr int kMaxDepth = 64;
    std::function<void(QTreeWidgetItem*, const QString&, int)> attach
        = [&](QTreeWidgetItem* parent, const QString& id, int depth) {
              if (visited.contains(id) || depth >= kMaxDepth)
                  return; // a loop in the data, or too deep
              visited.insert(id);
              for (QTreeWidgetItem* child : byParent.value(id)) {
                  if (placed.contains(child))
                      continue;
                  placed.insert(child);
                  if (parent)
                      parent->addChild(child);
                  else
                      treeWidget->addTopLevelItem(child);
                  attach(child, child->data(0, CatidRole).toString(), depth + 1);
              }
          };
    if (haveTop)
        attach(nullptr, topId, 0);
    for (const auto& siblings : qAsConst(byParent)) {
        for (QTreeWidgetItem* item : siblings) {
            if (!placed.contains(item))
                delete item;
        }
    }

    treeWidget->setUpdatesEnabled(true);
    pages->setCurrentIndex(1);
    loading = false;
    built = true;
}

QTreeWidgetItem* MyChapterTreeDialog::topAncestor(QTreeWidgetItem* item) const
{
    while (item && item->parent())
        item = item->parent();
    return item;
}

void MyChapterTreeDialog::confirm()
{
    QTreeWidgetItem* item = treeWidget->currentItem();
    if (!item || !item->isSelected()) {
        MyMsgBox::alert("亲，请选择章节末级", this);
        return;
    }
    if (item->data(0, ChildRole).toString() == "0") {
        accept();
        return;
    }
    MyMsgBox::alert("亲，您选择直到章节末级", this);
}

int MyChapterTreeDialog::selectedCatid() const
{
    QTreeWidgetItem* item = treeWidget->currentItem();
    return item ? item->data(0, CatidRole).toString().toInt() : 0;
}

QString MyChapterTreeDialog::selectedNamePath() const
{
    QStringList names;
    for (QTreeWidgetItem* i = treeWidget->currentItem(); i; i = i->parent())
        names.prepend(i->text(0));
    return names.join(">");
}

QString MyChapterTreeDialog::selectedCatpath() const
{
    QStringList ids;
    for (QTreeWidgetItem* i = treeWidget->currentItem(); i; i = i->parent())
        ids.prepend(i->data(0, CatidRole).toString());
    return ids.join(",");
}

int MyChapterTreeDialog::selectedBookVersionId() const
{
    QTreeWidgetItem* top = topAncestor(treeWidget->currentItem());
    return top ? top->data(0, VersionRole).toString().toInt() : 0;
}

QString MyChapterTreeDialog::selectedVersionName() const
{
    QTreeWidgetItem* item = treeWidget->currentItem();
    QTreeWidgetItem* top = topAncestor(item);
    if (!top || top == item)
        return QString();
    if (selectedBookVersionId() == 0 && subject == 18) {
        // Below a column without a version the second level names the textbook.
        QTreeWidgetItem* second = item;
        while (second->parent() != top)
            second = second->parent();
        return second->text(0);
    }
    return top->text(0);
}
