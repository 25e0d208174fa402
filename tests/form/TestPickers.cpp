#include "form/FormTestKit.h"
#include "form/MyAssetTypeDialog.h"
#include "form/MyChapterTreeDialog.h"
#include "form/MyLinkDistrictWidget.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QTreeWidget>

namespace {

QTreeWidgetItem* typeItem(MyAssetTypeDialog& d, const QString& id)
{
    for (QTreeWidgetItem* root : d.tree()->findItems("*", Qt::MatchWildcard)) {
        for (int i = 0; i < root->childCount(); ++i) {
            if (root->child(i)->data(0, MyAssetTypeDialog::IdRole).toString() == id)
                return root->child(i);
        }
    }
    return nullptr;
}

QStringList checkedIds(MyAssetTypeDialog& d)
{
    QStringList ids;
    for (const AssetTypeTreeNode& n : d.checkedNodes())
        ids << n.typeid_;
    return ids;
}

QStringList childTexts(QTreeWidgetItem* parent, QTreeWidget* tree)
{
    QStringList texts;
    const int n = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < n; ++i)
        texts << (parent ? parent->child(i) : tree->topLevelItem(i))->text(0);
    return texts;
}

QTreeWidgetItem* itemByPath(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = nullptr;
    for (const QString& name : path) {
        QTreeWidgetItem* next = nullptr;
        const int n = item ? item->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < n && !next; ++i) {
            QTreeWidgetItem* c = item ? item->child(i) : tree->topLevelItem(i);
            if (name == "*" || c->text(0) == name)
                next = c;
        }
        if (!next)
            return nullptr;
        item = next;
    }
    return item;
}

} // namespace

class TestPickers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(startSiteAndLogin(site)); }
    void init() { MyMsgBox::clearShown(); }

    void typeLimits_data();
    void typeLimits();
    void typeAutoSelection();
    void chapterTree();
    void chapterResults_data();
    void chapterResults();
    void chapterFailedReply();
    void regionGuess_data();
    void regionGuess();
    void regionSetAndStale();

private:
    DevsiteFixture site;
};

void TestPickers::typeLimits_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("preset");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("message");

    QTest::newRow("limit 1 acts like radio buttons")
        << 1 << QStringList { "701", "402" } << QStringList() << QStringList { "402" } << QString();
    QTest::newRow("limit 5: the sixth unchecks the one before")
        << 5 << QStringList { "301", "302", "303", "304", "305", "701" } << QStringList()
        << QStringList { "301", "302", "303", "304", "701" } << QString();
    QTest::newRow("limit 1 reopened with one chip: the chip's type is the one replaced")
        << 1 << QStringList { "402" } << QStringList { "701" } << QStringList { "402" } << QString();
    QTest::newRow("nothing checked") << 1 << QStringList() << QStringList() << QStringList()
                                     << QString("请勾选资料类型");
    QTest::newRow("carried types over limit 1")
        << 1 << QStringList() << QStringList { "301", "302" } << QStringList { "301", "302" }
        << QString("一份资料只允许选择一种资料类型");
    QTest::newRow("carried types over limit 5")
        << 5 << QStringList() << QStringList { "301", "302", "303", "304", "305", "701" }
        << QStringList { "301", "302", "303", "304", "305", "701" } << QString("最多可以选择5个类型");
}

void TestPickers::typeLimits()
{
    QFETCH(int, limit);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, preset);
    QFETCH(QStringList, checked);
    QFETCH(QString, message);

    MyAssetTypeDialog d;
    d.setLimit(limit);
    QList<AssetTypeItem> items;
    for (const QString& id : preset)
        items.append(AssetTypeItem { QString(), id.toInt(), 0 });
    d.checkTypes(items);
    for (const QString& id : clicks) {
        QTreeWidgetItem* item = typeItem(d, id);
        QVERIFY2(item, qPrintable(id));
        item->setCheckState(0, Qt::Checked);
    }
    QCOMPARE(checkedIds(d), checked);

    QSignalSpy added(&d, &MyAssetTypeDialog::add_type);
    d.confirm();
    if (message.isEmpty()) {
        QCOMPARE(added.count(), 1);
        const auto nodes = added.at(0).at(0).value<QList<AssetTypeTreeNode>>();
        QCOMPARE(nodes.size(), checked.size());
        QCOMPARE(nodes.last().typeid_, checked.last());
        // The title names the root type, then the type.
        QVERIFY2(nodes.first().title.contains('/'), qPrintable(nodes.first().title));
        QCOMPARE(d.result(), int(QDialog::Accepted));
    } else {
        QCOMPARE(added.count(), 0);
        QCOMPARE(shownTexts(), QStringList { message });
    }
}

void TestPickers::typeAutoSelection()
{
    MyAssetTypeDialog d;
    QSignalSpy added(&d, &MyAssetTypeDialog::add_type);
    QVERIFY(!d.autoSelect(QString()));
    QVERIFY(!d.autoSelect("/data/初中数学第一章.docx")); // no keyword of any rule
    QVERIFY(d.autoSelect("/data/初中数学期中试卷.docx"));
    QCOMPARE(added.count(), 1);
    const auto nodes = added.at(0).at(0).value<QList<AssetTypeTreeNode>>();
    QCOMPARE(nodes.size(), 1);
    QCOMPARE(nodes.first().typeidroot, QString("7"));
    QCOMPARE(nodes.first().typeid_, QString("703")); // "期中/期末试卷": a piece is in the path
}

void TestPickers::chapterTree()
{
    MyChapterTreeDialog::clearCacheForTesting();
    site.reset();
    MyChapterTreeDialog d;
    d.initTree(2, 2, QString());
    QTRY_VERIFY_WITH_TIMEOUT(d.holdsTree(2, 2) && !d.isLoading(), 20000);
    QCOMPARE(childTexts(nullptr, d.tree()), (QStringList { "人教版", "北师大版", "专题复习" }));
    // Equal display orders keep the order of the reply.
    QCOMPARE(childTexts(itemByPath(d.tree(), { "专题复习" }), d.tree()),
             (QStringList { "期中复习", "期末复习", "中考复习" }));

    // A second dialog for the same stage and subject is served from the cache.
    MyChapterTreeDialog again;
    again.initTree(2, 2, QString());
    QVERIFY(again.holdsTree(2, 2));
    QCOMPARE(again.tree()->topLevelItemCount(), 3);
    QCOMPARE(site.requests("/toolupload/versions/asset-versions").size(), 1);
    QCOMPARE(MyChapterTreeDialog::requestCount(), 1);

    // The leaf rule.
    d.tree()->setCurrentItem(nullptr);
    d.confirm();
    d.tree()->setCurrentItem(itemByPath(d.tree(), { "专题复习" }));
    d.confirm();
    QCOMPARE(shownTexts(), (QStringList { "亲，请选择章节末级", "亲，您选择直到章节末级" }));
    QCOMPARE(d.result(), int(QDialog::Rejected));
    d.tree()->setCurrentItem(itemByPath(d.tree(), { "专题复习", "期末复习" }));
    d.confirm();
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void TestPickers::chapterResults_data()
{
    QTest::addColumn<int>("subject");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("versionName");

    QTest::newRow("below a textbook") << 2 << QStringList { "北师大版", "*", "*", "*" } << 2 << "北师大版";
    QTest::newRow("a column without version") << 2 << QStringList { "专题复习", "中考复习" } << 0 << "专题复习";
    QTest::newRow("subject 18 names the second level")
        << 18 << QStringList { "教材同步", "*", "*", "*", "*" } << 0 << "<second>";
}

void TestPickers::chapterResults()
{
    QFETCH(int, subject);
    QFETCH(QStringList, path);
    QFETCH(int, version);
    QFETCH(QString, versionName);

    MyChapterTreeDialog d;
    d.initTree(2, subject, QString());
    QTRY_VERIFY_WITH_TIMEOUT(d.holdsTree(2, subject) && !d.isLoading(), 20000);
    QTreeWidgetItem* leaf = itemByPath(d.tree(), path);
    QVERIFY(leaf);
    QCOMPARE(leaf->data(0, MyChapterTreeDialog::ChildRole).toString(), QString("0"));
    d.tree()->setCurrentItem(leaf);

    QStringList names, ids;
    for (QTreeWidgetItem* i = leaf; i; i = i->parent()) {
        names.prepend(i->text(0));
        ids.prepend(i->data(0, MyChapterTreeDialog::CatidRole).toString());
    }
    QCOMPARE(d.selectedCatid(), ids.last().toInt());
    QCOMPARE(d.selectedNamePath(), names.join(">"));
    QCOMPARE(d.selectedCatpath(), ids.join(","));
    QCOMPARE(d.selectedBookVersionId(), version);
    QCOMPARE(d.selectedVersionName(), versionName == "<second>" ? names.at(1) : versionName);
}

void TestPickers::chapterFailedReply()
{
    MyChapterTreeDialog::clearCacheForTesting();
    // "data" of the wrong type is a failed reply: the dialog keeps its loading page.
    QVERIFY(site.fault(QJsonObject { { "path", "/toolupload/versions/asset-versions" },
                                     { "body", R"({"errcode":0,"code":0,"data":"nope"})" } }));
    MyChapterTreeDialog d;
    d.initTree(3, 2, QString());
    QTRY_VERIFY_WITH_TIMEOUT(!d.isLoading(), 20000);
    QVERIFY(!d.holdsTree(3, 2));
    QCOMPARE(d.tree()->topLevelItemCount(), 0);
    // Opening it again asks again, and this time gets the tree.
    d.initTree(3, 2, QString());
    QTRY_VERIFY_WITH_TIMEOUT(d.holdsTree(3, 2) && !d.isLoading(), 20000);
    QVERIFY(d.tree()->topLevelItemCount() > 0);
}

void TestPickers::regionGuess_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("cityShown");

    QTest::newRow("province without 省, city, county")
        << "江苏南京玄武区期末试卷" << true << QList<int> { 32, 3201, 320102 } << "江苏省南京市玄武区" << true;
    QTest::newRow("only a province") << "浙江省联考" << true << QList<int> { 33, -1, -1 } << "浙江省" << true;
    QTest::newRow("district of a city without counties")
        << "北京朝阳区模拟" << true << QList<int> { 11, 110105, -1 } << "北京市朝阳区" << true;
    QTest::newRow("nationwide") << "全国卷真题" << true << QList<int> { 0, -1, -1 } << "全国" << false;
    QTest::newRow("nothing") << "期末试卷" << false << QList<int> { -1, -1, -1 } << "" << false;
}

void TestPickers::regionGuess()
{
    QFETCH(QString, title);
    QFETCH(bool, found);
    QFETCH(QList<int>, ids);
    QFETCH(QString, name);
    QFETCH(bool, cityShown);

    MyLinkDistrictWidget w;
    QSignalSpy result(&w, &MyLinkDistrictWidget::s_autoFillResult);
    w.autoFillByTitle(title);
    QTRY_COMPARE_WITH_TIMEOUT(result.count(), 1, 20000);
    QCOMPARE(result.at(0).at(0).toBool(), found);
    auto read = [&w] {
        const MyLinkDistrictWidget::Region r = w.region();
        return QList<int> { r.province, r.city, r.county };
    };
    // The lower levels arrive one after the other.
    QTRY_COMPARE_WITH_TIMEOUT(!w.cityCombo()->isHidden(), cityShown, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(read(), ids, 20000);
    QCOMPARE(w.region().name, name);
}

void TestPickers::regionSetAndStale()
{
    MyLinkDistrictWidget w;
    auto read = [&w] {
        const MyLinkDistrictWidget::Region r = w.region();
        return QStringList { QString::number(r.province), QString::number(r.city), QString::number(r.county), r.name };
    };
    w.setRegion(32, 3205, 320583);
    QTRY_COMPARE_WITH_TIMEOUT(read(), (QStringList { "32", "3205", "320583", "江苏省苏州市昆山市" }), 20000);

    // Picking 全国 by hand empties and hides the levels below.
    w.provinceCombo()->setCurrentIndex(1);
    emit w.provinceCombo()->activated(1);
    QVERIFY(w.cityCombo()->isHidden());
    QCOMPARE(read(), (QStringList { "0", "-1", "-1", "全国" }));

    // A stored city the site no longer lists is shown by its stored name and read back as stored.
    w.setRegion(32, 3299, 329901, "江苏省旧市旧县");
    QTRY_COMPARE_WITH_TIMEOUT(read(), (QStringList { "32", "3299", "329901", "江苏省旧市旧县" }), 20000);
    QCOMPARE(w.cityCombo()->currentText(), QString("江苏省旧市旧县"));
    QCOMPARE(w.provinceCombo()->currentText(), QString("江苏省"));
}

QTEST_MAIN(TestPickers)
#include "TestPickers.moc"
